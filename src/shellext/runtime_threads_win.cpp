// The runtime keeps its per-thread data in TlsAlloc slots (the C++
// exception state of each thread that threw or caught) and frees a thread's
// when told the thread ended.  The DLL has no TLS callbacks to tell it
// (no_tls_directory.cpp), so DllMain does.
#include "shellext/runtime_threads.h"

// The runtime's handler of those notices: at process attach it makes the
// lock of its destructor list (until then it registers no destructor), at a
// thread's detach it runs the destructors of that thread's slots, at
// process detach those of the last thread, and it frees the list.
extern "C" BOOL __mingw_TLScallback(HANDLE module, DWORD reason, LPVOID reserved);

namespace {
ThreadEndNotice g_exceptionState = nullptr;
}  // namespace

void SetExceptionStateNotice(ThreadEndNotice notice) {
    g_exceptionState = notice;
}

void RuntimeThreadNotice(HINSTANCE module, DWORD reason, LPVOID reserved) {
    // Thread attach stays the runtime's business no more than it was: its
    // answer to it resets the new thread's floating-point unit, which the
    // removed callbacks never asked for and a DLL must not do to its host's
    // threads.
    if (reason != DLL_THREAD_ATTACH)
        __mingw_TLScallback(module, reason, reserved);
    if (g_exceptionState != nullptr)
        g_exceptionState(reason);
}
