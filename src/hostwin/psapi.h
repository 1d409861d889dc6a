// hostwin: OpenProcess and the process-status calls (psapi.h) over the
// process table.  A process has one module, its program.
#pragma once

#include "base.h"

#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_READ 0x0010
#define PROCESS_QUERY_INFORMATION 0x0400

// An identifier not in the table: ERROR_INVALID_PARAMETER; an entry that
// refuses to be opened: ERROR_ACCESS_DENIED.
HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded);
// Succeeds with a buffer too small for one handle, writing none, as Windows
// does; *lpcbNeeded tells the size wanted.
BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
DWORD WINAPI GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize);
