// A new thread runs its DLL attach notifications under the loader lock before
// its start routine: holding that lock holds every new thread back.
#include "support/thread_hold.h"

namespace nmtest {
namespace {

using LockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG* state, ULONG_PTR* cookie);
using UnlockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG_PTR cookie);

FARPROC NtdllExport(const char* name) { return GetProcAddress(GetModuleHandleA("ntdll.dll"), name); }

}  // namespace

NewThreadHold::NewThreadHold() {
    const auto lock = reinterpret_cast<LockLoaderLock>(reinterpret_cast<void*>(NtdllExport("LdrLockLoaderLock")));
    ULONG state = 0;
    held_ = lock != nullptr && lock(0, &state, &cookie_) >= 0;
}

void NewThreadHold::Release() {
    if (!held_)
        return;
    const auto unlock = reinterpret_cast<UnlockLoaderLock>(reinterpret_cast<void*>(NtdllExport("LdrUnlockLoaderLock")));
    if (unlock != nullptr)
        unlock(0, cookie_);
    held_ = false;
}

// No notification tells a program that another module went away: the
// condition itself is looked at until it holds or the time is up.
bool WaitForModuleUnload(const std::string& module, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetModuleHandleA(module.c_str()) != nullptr) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(10);
    }
    return true;
}

}  // namespace nmtest
