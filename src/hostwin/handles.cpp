#include "handles.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "errors.h"
#include "faults.h"

namespace hostwin::detail {
namespace {

std::mutex g_mutex;
// Never destroyed: threads of the program may still use handles as it ends
// (Windows ends them first; the host does not).
std::map<HANDLE, std::shared_ptr<KernelObject>>& Table() {
    static auto* table = new std::map<HANDLE, std::shared_ptr<KernelObject>>;
    return *table;
}

}  // namespace

DWORD KernelObject::Read(void*, DWORD, DWORD*) { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::Write(const void*, DWORD, DWORD*) { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::Flush() { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::SetEnd() { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::Seek(LONGLONG, DWORD, ULONGLONG*) { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::Size(ULONGLONG*) { return ERROR_INVALID_HANDLE; }
DWORD KernelObject::Wait(DWORD, DWORD* error) {
    *error = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
}

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
    // Multiples of 4 from 0x100, as Windows hands them out; never 0 or -1.
    static ULONG_PTR next = 0x100;
    std::lock_guard lock(g_mutex);
    next += 4;
    auto handle = reinterpret_cast<HANDLE>(next);
    Table()[handle] = std::move(object);
    return handle;
}

std::shared_ptr<KernelObject> LookUp(HANDLE handle) {
    std::lock_guard lock(g_mutex);
    auto it = Table().find(handle);
    return it == Table().end() ? nullptr : it->second;
}

size_t OpenHandleCount() {
    std::lock_guard lock(g_mutex);
    return Table().size();
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

namespace {

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS)
        return TRUE;
    SetLastError(error);
    return FALSE;
}

}  // namespace

BOOL WINAPI CloseHandle(HANDLE hObject) {
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard lock(g_mutex);
        auto it = Table().find(hObject);
        if (it == Table().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        Table().erase(it);
    }
    // The table held one reference and `object` holds it now: when that is
    // the only one left, this was the last handle.
    if (object.use_count() == 1)
        object->LastHandleClosed();
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED /*lpOverlapped*/) {
    auto object = LookUp(hFile);
    DWORD read = 0;
    const DWORD error = object ? object->Read(lpBuffer, nNumberOfBytesToRead, &read) : ERROR_INVALID_HANDLE;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = read;
    return Result(error);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED /*lpOverlapped*/) {
    if (hostwin::detail::FailIfInjected("WriteFile")) {
        if (lpNumberOfBytesWritten)
            *lpNumberOfBytesWritten = 0;
        return FALSE;
    }
    if (DWORD limit; hostwin::detail::TakeShortWrite(&limit))
        nNumberOfBytesToWrite = std::min(nNumberOfBytesToWrite, limit);
    auto object = LookUp(hFile);
    DWORD written = 0;
    const DWORD error = object ? object->Write(lpBuffer, nNumberOfBytesToWrite, &written) : ERROR_INVALID_HANDLE;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = written;
    return Result(error);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    auto object = LookUp(hFile);
    return Result(object ? object->Flush() : ERROR_INVALID_HANDLE);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    if (hostwin::detail::FailIfInjected("SetEndOfFile"))
        return FALSE;
    auto object = LookUp(hFile);
    return Result(object ? object->SetEnd() : ERROR_INVALID_HANDLE);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    auto object = LookUp(hFile);
    LONGLONG distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance = static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                                         static_cast<DWORD>(lDistanceToMove));
    ULONGLONG position = 0;
    const DWORD error = object ? object->Seek(distance, dwMoveMethod, &position) : ERROR_INVALID_HANDLE;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);  // callers tell a real 0xFFFFFFFF position by this
    return static_cast<DWORD>(position);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto object = LookUp(hFile);
    ULONGLONG size = 0;
    const DWORD error = object ? object->Size(&size) : ERROR_INVALID_HANDLE;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0xFFFFFFFFu;
    }
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto object = LookUp(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD error = ERROR_SUCCESS;
    const DWORD result = object->Wait(dwMilliseconds, &error);
    if (result == WAIT_FAILED)
        SetLastError(error);
    return result;
}
