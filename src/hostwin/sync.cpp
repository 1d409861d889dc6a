// Semaphores: a count under the Waitable's mutex.
#include "sync.h"

#include <memory>
#include <mutex>

#include "errors.h"
#include "faults.h"
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
    if (hostwin::detail::FailIfInjected("CreateSemaphoreA"))
        return nullptr;
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

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) { return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) { return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST); }

LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand) {
    __atomic_compare_exchange_n(Destination, &Comparand, Exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return Comparand;  // the value found, whether or not it was replaced
}

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

namespace {

std::recursive_mutex* HostLock(LPCRITICAL_SECTION section) {
    return static_cast<std::recursive_mutex*>(static_cast<void*>(section->LockSemaphore));
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    *lpCriticalSection = CRITICAL_SECTION{};
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->LockSemaphore = static_cast<HANDLE>(static_cast<void*>(new std::recursive_mutex));
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    delete HostLock(lpCriticalSection);
    lpCriticalSection->LockSemaphore = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    HostLock(lpCriticalSection)->lock();
    if (lpCriticalSection->RecursionCount++ == 0)
        lpCriticalSection->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (--lpCriticalSection->RecursionCount == 0)
        lpCriticalSection->OwningThread = nullptr;
    HostLock(lpCriticalSection)->unlock();
}
