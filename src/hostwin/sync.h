// hostwin: semaphores, mutexes and critical sections of one process.  Only
// unnamed semaphores exist here: a name is refused with ERROR_NOT_SUPPORTED.
// A mutex's name is shared by the threads of this process (mutexes.cpp).
// Waits go through WaitForSingleObject (handles.h).
#pragma once

#include "base.h"

#define ERROR_TOO_MANY_POSTS 298L
#define ERROR_NOT_OWNER 288L

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                               LPCSTR lpName);
// Full-barrier read-modify-write of a 32-bit count shared between threads;
// the result is the new value.
LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
LONG WINAPI InterlockedDecrement(LONG volatile* Addend);
// Stores `Exchange` where `*Destination` equals `Comparand`; the result is the
// value found.
LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand);
LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);

BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

// A name already in use opens that mutex (bInitialOwner then has no effect)
// and sets ERROR_ALREADY_EXISTS; a new one sets ERROR_SUCCESS.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
// ERROR_NOT_OWNER unless the calling thread owns the mutex.
BOOL WINAPI ReleaseMutex(HANDLE hMutex);



// A lock of one process that its owner may enter again (each Enter matched by
// a Leave).  The fields are Windows' own; here LockSemaphore holds the host's
// lock, made by InitializeCriticalSection and freed by DeleteCriticalSection.
typedef struct _RTL_CRITICAL_SECTION {
    PVOID DebugInfo;
    LONG LockCount;
    LONG RecursionCount;
    HANDLE OwningThread;
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
