// Semaphores, events and mutexes: each is a count or a flag under the
// Waitable's mutex.
#include "sync.h"

#include <memory>

#include "errors.h"
#include "threads.h"
#include "waitable.h"

namespace hostwin::detail {
namespace {

class Semaphore : public Waitable {
public:
    Semaphore(LONG count, LONG maximum) : count_(count), maximum_(maximum) {}

    DWORD Release(LONG count, LONG* previous) {
        std::lock_guard lock(mutex_);
        // A release beyond the maximum changes nothing.
        if (count > maximum_ - count_)
            return ERROR_TOO_MANY_POSTS;
        if (previous)
            *previous = count_;
        count_ += count;
        SignalLocked();
        return ERROR_SUCCESS;
    }

protected:
    bool TryAcquireLocked() override {
        if (count_ == 0)
            return false;
        --count_;
        return true;
    }

private:
    LONG count_;
    const LONG maximum_;
};

class Event : public Waitable {
public:
    Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

    void Set(bool signalled) {
        std::lock_guard lock(mutex_);
        signalled_ = signalled;
        if (signalled)
            SignalLocked();
    }

protected:
    bool TryAcquireLocked() override {
        if (!signalled_)
            return false;
        if (!manualReset_)
            signalled_ = false;  // an auto-reset event lets one waiter through
        return true;
    }

private:
    const bool manualReset_;
    bool signalled_;
};

// Owned by one thread, recursively; released only by its owner.
class Mutex : public Waitable {
public:
    explicit Mutex(bool owned) {
        if (owned) {
            owner_ = GetCurrentThreadId();
            depth_ = 1;
        }
    }

    DWORD Release() {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || owner_ != GetCurrentThreadId())
            return ERROR_NOT_OWNER;
        if (--depth_ == 0) {
            owner_ = 0;
            SignalLocked();
        }
        return ERROR_SUCCESS;
    }

protected:
    bool TryAcquireLocked() override {
        const DWORD me = GetCurrentThreadId();
        if (depth_ != 0 && owner_ != me)
            return false;
        owner_ = me;
        ++depth_;
        return true;
    }

private:
    DWORD owner_ = 0;
    LONG depth_ = 0;
};

template <typename T>
std::shared_ptr<T> Find(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(LookUp(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS)
        return TRUE;
    SetLastError(error);
    return FALSE;
}

bool RefuseName(LPCSTR name) {
    if (name == nullptr)
        return false;
    SetLastError(ERROR_NOT_SUPPORTED);
    return true;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES /*lpSemaphoreAttributes*/, LONG lInitialCount,
                               LONG lMaximumCount, LPCSTR lpName) {
    if (RefuseName(lpName))
        return nullptr;
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::make_shared<Semaphore>(lInitialCount, lMaximumCount));
}

BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
    auto semaphore = Find<Semaphore>(hSemaphore);
    if (!semaphore)
        return FALSE;
    if (lReleaseCount < 0)
        return Result(ERROR_INVALID_PARAMETER);
    return Result(semaphore->Release(lReleaseCount, lpPreviousCount));
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
    if (RefuseName(lpName))
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    auto event = Find<Event>(hEvent);
    if (!event)
        return FALSE;
    event->Set(true);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    auto event = Find<Event>(hEvent);
    if (!event)
        return FALSE;
    event->Set(false);
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner, LPCSTR lpName) {
    if (RefuseName(lpName))
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    return NewHandle(std::make_shared<Mutex>(bInitialOwner != FALSE));
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    auto mutex = Find<Mutex>(hMutex);
    return mutex ? Result(mutex->Release()) : FALSE;
}
