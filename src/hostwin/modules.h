// hostwin: loadable modules.  A module is a named table of exports that the
// control panel registers; LoadLibraryA finds it by the file name at the end
// of the path, without regard to case, and runs its entry function.
#pragma once

#include "base.h"

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
// For the program itself (null module) the host path of its executable.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
