// The C and C++ runtimes' per-thread clean-up, handed the loader's notices
// by DllMain.
#pragma once

#include "platform/win32.h"

// Passes DllMain's notice on to the statically linked runtime, which frees
// what it keeps for a thread (the C++ exception state) when the thread
// ends, and its own list of such destructors when the module goes.
void RuntimeThreadNotice(HINSTANCE module, DWORD reason, LPVOID reserved);

// The DLL keeps the C++ exception state itself (exception_state.cpp, linked
// into the DLL alone) and registers here what frees it at a thread's end and
// at the module's; RuntimeThreadNotice passes those notices on.
using ThreadEndNotice = void (*)(DWORD reason);
void SetExceptionStateNotice(ThreadEndNotice notice);
