// Threads that begin their work together: each arrives and waits until all
// have.  A mutex and a condition variable, not std::latch: the MinGW
// runtime's latch waits through libstdc++'s shared table of address waits,
// and under Wine a waiter there slept on after the last arrival (a test's
// main thread hung for good with its partner thread already ended).
#pragma once

#include <condition_variable>
#include <mutex>

namespace nmtest {

class StartLine {
public:
    explicit StartLine(int threads) : waiting_for_(threads) {}
    StartLine(const StartLine&) = delete;
    StartLine& operator=(const StartLine&) = delete;

    void ArriveAndWait() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (--waiting_for_ <= 0) {
            everyone_.notify_all();
            return;
        }
        everyone_.wait(lock, [this] { return waiting_for_ <= 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable everyone_;
    int waiting_for_;
};

}  // namespace nmtest
