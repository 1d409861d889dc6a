// hostwin: the tool-help snapshot of the running processes (tlhelp32.h).
#pragma once

#include "base.h"

#define TH32CS_SNAPHEAPLIST 0x00000001
#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPTHREAD 0x00000004
#define TH32CS_SNAPMODULE 0x00000008

struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    CHAR szExeFile[MAX_PATH];
};
using LPPROCESSENTRY32 = PROCESSENTRY32*;
static_assert(sizeof(PROCESSENTRY32) == 304, "the 64-bit layout");

// Only TH32CS_SNAPPROCESS is offered (other kinds: ERROR_NOT_SUPPORTED); the
// process identifier is ignored for it, as on Windows.
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID);
// dwSize below sizeof(PROCESSENTRY32): ERROR_INSUFFICIENT_BUFFER.  After the
// last entry: ERROR_NO_MORE_FILES.
BOOL WINAPI Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe);
BOOL WINAPI Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe);
