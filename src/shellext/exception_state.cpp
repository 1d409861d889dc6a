// The C++ runtime's per-thread exception state (the chain of caught
// exceptions and the count of uncaught ones), kept by the DLL itself.
//
// The runtime's own copy lives in an emulated thread-local variable, whose
// support takes a TlsAlloc slot and a semaphore the first time any thread of
// a loaded copy throws, and never gives either back: every load of the DLL
// that saw an exception (a refused allocation is one) cost the host process
// a TLS slot for good.  Explorer loads and unloads an extension many times
// over a session; once its 1,088 slots were gone, the next load that threw
// ended the whole process.  Here the slot is the module's, taken at the
// first exception and freed when the module goes, and each thread's state
// is freed when the thread ends (DllMain's notices, RuntimeThreadNotice).
//
// This file is the DLL's alone, like no_tls_directory.cpp: defining the two
// functions keeps the runtime's versions, and the emulated thread-local
// support with them, out of the link.  The programs keep the runtime's.
#include <cstdlib>

#include "shellext/runtime_threads.h"

namespace {

// The runtime reads two or three words of its own layout; the block is
// larger than any of them and starts zeroed, as the runtime's does.
constexpr size_t kStateBytes = 64;

volatile LONG g_slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD Slot() {
    const DWORD slot = static_cast<DWORD>(InterlockedCompareExchange(&g_slot, 0, 0));
    if (slot != TLS_OUT_OF_INDEXES)
        return slot;
    const DWORD mine = TlsAlloc();
    if (mine == TLS_OUT_OF_INDEXES)
        return mine;
    // Two threads' first exceptions at once: one slot stays, the other goes.
    const LONG before =
        InterlockedCompareExchange(&g_slot, static_cast<LONG>(mine), static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (before == static_cast<LONG>(TLS_OUT_OF_INDEXES))
        return mine;
    TlsFree(mine);
    return static_cast<DWORD>(before);
}

void ReleaseThreadState() {
    const DWORD slot = static_cast<DWORD>(InterlockedCompareExchange(&g_slot, 0, 0));
    if (slot == TLS_OUT_OF_INDEXES)
        return;
    std::free(TlsGetValue(slot));
    TlsSetValue(slot, nullptr);
}

// The thread's end, and the module's: the notices DllMain passes on.  At
// the module's end the other threads' blocks (those still running) are
// left, a few bytes each; the slot goes.
void ExceptionStateNotice(DWORD reason) {
    if (reason != DLL_THREAD_DETACH && reason != DLL_PROCESS_DETACH)
        return;
    ReleaseThreadState();
    if (reason == DLL_PROCESS_DETACH) {
        const LONG slot = InterlockedExchange(&g_slot, static_cast<LONG>(TLS_OUT_OF_INDEXES));
        if (slot != static_cast<LONG>(TLS_OUT_OF_INDEXES))
            TlsFree(static_cast<DWORD>(slot));
    }
}

// Registered by the module's constructors, which run before DllMain's first
// notice.
[[maybe_unused]] const bool g_registered = (SetExceptionStateNotice(ExceptionStateNotice), true);

}  // namespace

// As the runtime's: a thread's state is made at its first use, and without
// memory for it the process ends, since an exception cannot be thrown or
// caught without it.
extern "C" void* __cxa_get_globals() noexcept {
    const DWORD slot = Slot();
    if (slot == TLS_OUT_OF_INDEXES)
        std::abort();
    void* state = TlsGetValue(slot);
    if (state == nullptr) {
        state = std::calloc(1, kStateBytes);
        if (state == nullptr || !TlsSetValue(slot, state))
            std::abort();
    }
    return state;
}

extern "C" void* __cxa_get_globals_fast() noexcept {
    return __cxa_get_globals();
}
