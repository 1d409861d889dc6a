// hostwin: semaphores of one process.  Only unnamed
// objects exist here: a name is refused with ERROR_NOT_SUPPORTED.  Waits go
// through WaitForSingleObject (handles.h).
#pragma once

#include "base.h"

#define ERROR_TOO_MANY_POSTS 298L

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                               LPCSTR lpName);
// Full-barrier read-modify-write of a 32-bit count shared between threads;
// the result is the new value.
LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
LONG WINAPI InterlockedDecrement(LONG volatile* Addend);

BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);


