// Threads run on host threads.  The thread object outlives both its handle
// and the host thread as long as either needs it; its end is marked by a
// thread-local guard, so that a return from the start routine and ExitThread
// end the same way.
#include "threads.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "errors.h"
#include "machine.h"
#include "waitable.h"

namespace hostwin::detail {

DWORD Waitable::Wait(DWORD milliseconds, DWORD* /*error*/) {
    std::unique_lock lock(mutex_);
    if (milliseconds == INFINITE) {
        changed_.wait(lock, [this] { return TryAcquireLocked(); });
        return WAIT_OBJECT_0;
    }
    const bool passed =
        changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return TryAcquireLocked(); });
    return passed ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT);
}

namespace {

// Thread identifiers are multiples of 4 and never 0, as Windows hands them out.
DWORD NewThreadId() {
    static std::atomic<DWORD> next{0x400};
    return next.fetch_add(4) + 4;
}

thread_local DWORD t_threadId = 0;

class ThreadObject : public Waitable {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD id)
        : start_(start), parameter_(parameter), id_(id) {}

    DWORD ExitCode() {
        std::lock_guard lock(mutex_);
        return finished_ ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
    }
    void Finish(DWORD code) {
        std::lock_guard lock(mutex_);
        finished_ = true;
        exitCode_ = code;
        SignalLocked();
    }
    LPTHREAD_START_ROUTINE start_;
    LPVOID parameter_;
    DWORD id_;

protected:
    bool TryAcquireLocked() override { return finished_; }

private:
    bool finished_ = false;
    DWORD exitCode_ = 0;
};

// Marks the thread's end however the host thread ends (return or ExitThread).
struct RunningThread {
    std::shared_ptr<ThreadObject> object;
    DWORD exitCode = 0;
    ~RunningThread() {
        if (object)
            object->Finish(exitCode);
    }
};
thread_local RunningThread t_running;

// Machine::HoldNewThreads: new threads wait here before their start routine.
struct ThreadGate {
    std::mutex mutex;
    std::condition_variable opened;
    bool held = false;
};
ThreadGate& Gate() {
    static ThreadGate gate;
    return gate;
}

void* ThreadMain(void* raw) {
    std::unique_ptr<std::shared_ptr<ThreadObject>> self(static_cast<std::shared_ptr<ThreadObject>*>(raw));
    t_running.object = *self;
    self.reset();
    t_threadId = t_running.object->id_;
    {
        std::unique_lock lock(Gate().mutex);
        Gate().opened.wait(lock, [] { return !Gate().held; });
    }
    t_running.exitCode = t_running.object->start_(t_running.object->parameter_);
    return nullptr;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwCreationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const DWORD id = NewThreadId();
    auto object = std::make_shared<ThreadObject>(lpStartAddress, lpParameter, id);

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    // 0 means the default size; Windows rounds small sizes up as well.
    if (dwStackSize >= static_cast<SIZE_T>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attributes, dwStackSize);
    auto* start = new std::shared_ptr<ThreadObject>(object);
    pthread_t thread;
    const int failed = pthread_create(&thread, &attributes, ThreadMain, start);
    pthread_attr_destroy(&attributes);
    if (failed) {
        delete start;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId)
        *lpThreadId = id;
    return NewHandle(std::move(object));
}

DWORD WINAPI GetCurrentThreadId() {
    if (t_threadId == 0)
        t_threadId = NewThreadId();  // a thread the host started (the main thread, std::thread)
    return t_threadId;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = std::dynamic_pointer_cast<ThreadObject>(LookUp(hThread));
    if (!thread || lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

void WINAPI ExitThread(DWORD dwExitCode) {
    t_running.exitCode = dwExitCode;
    pthread_exit(nullptr);  // thread-local destructors still run, t_running's among them
}

void hostwin::Machine::HoldNewThreads(bool hold) {
    {
        std::lock_guard lock(Gate().mutex);
        Gate().held = hold;
    }
    Gate().opened.notify_all();
}
