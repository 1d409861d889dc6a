// The DLL carries no TLS directory.  Windows 95's LoadLibrary refuses a DLL
// that has one (ERROR_DLL_INIT_FAILED), and the NT loaders before Vista do
// not set up the static TLS of a DLL loaded after the process started, which
// is how Explorer loads every extension.  No variable of ours is
// thread-local: the directory came from the MinGW start-up code alone, for
// the two callbacks through which the runtime learnt of thread and process
// ends.  DllMain now tells the runtime instead (RuntimeThreadNotice).
//
// This file is the DLL's alone: the programs keep the callbacks, which their
// threading library needs.
#include "platform/win32.h"

// The start-up code calls the runtime's TLS initialiser through this
// pointer.  Defined here, and null, it keeps the runtime's TLS support, and
// the directory with it, out of the link; were that support linked after
// all, the link would fail on the second definition.
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
