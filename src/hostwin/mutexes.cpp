// Mutexes: owned by one thread at a time and entered again by their owner.  A
// thread that ends while it owns one leaves it abandoned: the next waiter
// gets it with WAIT_ABANDONED, as on Windows.  Named mutexes are shared by
// the threads of this process only; between processes the Wine suite is the
// judge.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "errors.h"
#include "faults.h"
#include "sync.h"
#include "threads.h"
#include "waitable.h"

namespace hostwin::detail {
namespace {

class Mutex;

// What the thread owns, given up as abandoned when the thread ends.
struct OwnedMutexes {
    std::vector<std::shared_ptr<Mutex>> mutexes;
    ~OwnedMutexes();
};
thread_local OwnedMutexes t_owned;

class Mutex : public Waitable, public std::enable_shared_from_this<Mutex> {
public:
    DWORD Wait(DWORD milliseconds, DWORD* error) override {
        const DWORD result = Waitable::Wait(milliseconds, error);
        if (result != WAIT_OBJECT_0)
            return result;
        std::lock_guard lock(mutex_);
        return std::exchange(takenAbandoned_, false) ? static_cast<DWORD>(WAIT_ABANDONED) : result;
    }
    DWORD Release() {
        std::lock_guard lock(mutex_);
        if (count_ == 0 || owner_ != GetCurrentThreadId())
            return ERROR_NOT_OWNER;
        if (--count_ == 0)
            GiveUpLocked(false);
        return ERROR_SUCCESS;
    }
    void Abandon(DWORD thread) {
        std::lock_guard lock(mutex_);
        if (count_ > 0 && owner_ == thread)
            GiveUpLocked(true);
    }
    void TakeNow() {
        std::lock_guard lock(mutex_);
        TryAcquireLocked();
    }

protected:
    bool TryAcquireLocked() override {
        const DWORD self = GetCurrentThreadId();
        if (count_ > 0 && owner_ != self)
            return false;
        if (count_++ == 0) {
            owner_ = self;
            takenAbandoned_ = std::exchange(abandoned_, false);
            t_owned.mutexes.push_back(shared_from_this());
        }
        return true;
    }

private:
    // The owner's list is its thread's own: only the owner gives a mutex up,
    // or its list as the thread ends.
    void GiveUpLocked(bool abandoned) {
        count_ = 0;
        owner_ = 0;
        abandoned_ = abandoned;
        if (!abandoned)
            std::erase(t_owned.mutexes, shared_from_this());
        SignalLocked();
    }

    DWORD owner_ = 0;
    LONG count_ = 0;
    bool abandoned_ = false;
    bool takenAbandoned_ = false;
};

OwnedMutexes::~OwnedMutexes() {
    const DWORD self = GetCurrentThreadId();
    for (auto& mutex : std::exchange(mutexes, {}))
        mutex->Abandon(self);
}

std::mutex g_namesLock;
std::map<std::string, std::weak_ptr<Mutex>>& Names() {
    static std::map<std::string, std::weak_ptr<Mutex>> names;
    return names;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner, LPCSTR lpName) {
    if (hostwin::detail::FailIfInjected("CreateMutexA"))
        return nullptr;
    std::shared_ptr<Mutex> mutex;
    bool existed = false;
    {
        std::lock_guard lock(g_namesLock);
        if (lpName != nullptr)
            mutex = Names()[lpName].lock();
        existed = mutex != nullptr;
        if (!existed) {
            mutex = std::make_shared<Mutex>();
            if (lpName != nullptr)
                Names()[lpName] = mutex;
        }
    }
    // An existing mutex is only opened: its owner stays whoever it is.
    if (!existed && bInitialOwner)
        mutex->TakeNow();
    HANDLE handle = NewHandle(std::move(mutex));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    auto mutex = std::dynamic_pointer_cast<Mutex>(LookUp(hMutex));
    const DWORD error = mutex ? mutex->Release() : ERROR_INVALID_HANDLE;
    if (error == ERROR_SUCCESS)
        return TRUE;
    SetLastError(error);
    return FALSE;
}
