// hostwin: kernel objects and their handles.  Every handle that CloseHandle,
// ReadFile, WriteFile or WaitForSingleObject accepts (files, pipes, threads,
// semaphores, processes) names a KernelObject in one process-wide table; each
// area derives its own objects and overrides what they support.
#pragma once

#include <memory>

#include "base.h"

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED 0xFFFFFFFFu

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

BOOL WINAPI CloseHandle(HANDLE hObject);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL WINAPI SetEndOfFile(HANDLE hFile);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

namespace hostwin::detail {

// The default of every operation is Windows' answer for an object that does
// not support it: ERROR_INVALID_HANDLE (or ERROR_INVALID_FUNCTION).  Each
// returns a Win32 error code, 0 for success.
class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual DWORD Read(void* buffer, DWORD size, DWORD* read);
    virtual DWORD Write(const void* buffer, DWORD size, DWORD* written);
    virtual DWORD Flush();
    virtual DWORD Seek(LONGLONG distance, DWORD method, ULONGLONG* position);
    virtual DWORD Size(ULONGLONG* size);
    // Ends (or extends) the object at its current position.
    virtual DWORD SetEnd();
    // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (with *error set).
    virtual DWORD Wait(DWORD milliseconds, DWORD* error);
    // Called when the last handle to the object is closed.
    virtual void LastHandleClosed() {}
};

// A new handle for `object` (shared: several handles may name one object).
HANDLE NewHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null (stale, closed or foreign handle).
std::shared_ptr<KernelObject> LookUp(HANDLE handle);
size_t OpenHandleCount();

}  // namespace hostwin::detail
