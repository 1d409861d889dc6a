// hostwin: threads.  A thread handle is signalled when the thread ends, as on
// Windows; the thread keeps running when its handle is closed.
#pragma once

#include "base.h"

#define STILL_ACTIVE 259L
#define CREATE_SUSPENDED 0x00000004

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID lpThreadParameter);
using PTHREAD_START_ROUTINE = LPTHREAD_START_ROUTINE;

// dwCreationFlags CREATE_SUSPENDED is not offered (ERROR_NOT_SUPPORTED).
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
DWORD WINAPI GetCurrentThreadId();
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
[[noreturn]] void WINAPI ExitThread(DWORD dwExitCode);
