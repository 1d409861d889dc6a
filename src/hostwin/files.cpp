#include "files.h"

#include <string>

#include "errors.h"
#include "faults.h"
#include "files_internal.h"
#include "registry_store.h"

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
    DWORD error = ERROR_SUCCESS;
    if (hostwin::detail::TakeInjectedFailure("CreateFileA", &error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string name = lpFileName;
    static const std::string kPipePrefix = "\\\\.\\pipe\\";
    HANDLE handle;
    if (name.size() > kPipePrefix.size() && hostwin::detail::SameName(name.substr(0, kPipePrefix.size()), kPipePrefix))
        handle = hostwin::detail::OpenPipeClient(name, dwDesiredAccess, &error);
    else if (hostwin::detail::IsDeviceName(name))
        handle = hostwin::detail::OpenDevice(name, dwDesiredAccess, dwShareMode, dwCreationDisposition, &error);
    else
        handle = hostwin::detail::OpenDiskFile(name, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                               dwFlagsAndAttributes, &error);
    // On success too: ERROR_ALREADY_EXISTS after CREATE_ALWAYS or OPEN_ALWAYS
    // found the file, else 0.
    SetLastError(error);
    return handle;
}
