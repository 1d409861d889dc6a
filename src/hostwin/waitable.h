// hostwin internals: the common shape of the objects a thread can wait on
// (threads, semaphores, events).  Each keeps its state under one mutex and
// says, with that mutex held, whether a waiter may pass now; Signal wakes the
// waiters to ask again.
#pragma once

#include <condition_variable>
#include <mutex>

#include "handles.h"

namespace hostwin::detail {

class Waitable : public KernelObject {
public:
    // Timed waits run on the host's clock even when Sleep runs on virtual
    // time: whatever the waiter waits for is done by a real thread.
    DWORD Wait(DWORD milliseconds, DWORD* error) override;

protected:
    // Called with mutex_ held; true takes the object (a semaphore's count, an
    // auto-reset event) and lets the waiter pass.
    virtual bool TryAcquireLocked() = 0;
    // Call with mutex_ held after making the object signalled.
    void SignalLocked() { changed_.notify_all(); }

    std::mutex mutex_;

private:
    std::condition_variable changed_;
};

}  // namespace hostwin::detail
