// Module-wide state of the in-process server.
#pragma once

#include "platform/win32.h"

// The library's module handle, stored at process attach.
extern HINSTANCE g_hInstance;

// Live COM objects of this library (factories and extensions); DllCanUnloadNow
// answers from it alone.  A receiving thread still running holds a reference
// of its own on the module, so an unload waits for it.  Every folder window of
// the shell makes objects on its own thread, so the count changes only with
// interlocked operations; each object's reference count is its thread's alone.
extern LONG ServerObjectCount;

// {5E2C9A71-3B04-4F6D-9A18-C7D2E40B6F53}
extern const CLSID CLSID_ShellExtension;
