// hostwin: loadable modules.  A module is a named table of exports that the
// control panel registers; LoadLibraryA finds it by the file name at the end
// of the path, without regard to case, and runs its entry function.  The
// program is a module too, under its own file name.
#pragma once

#include "base.h"

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
[[noreturn]] void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
// A null name is the program itself, which is loaded for good: loading and
// freeing it change nothing.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
// For the program itself (null module) the host path of its executable.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
