// The C runtime's streams on the simulated drives: a glibc custom stream
// whose reads, writes and close go to a Win32 file handle, so that share
// modes hold against other handles exactly as for CreateFileA.
#include "crt.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "errors.h"
#include "disk_files.h"
#include "files.h"
#include "handles.h"

namespace {

// The Windows C runtime's translation of the errors these calls meet.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_DIRECTORY:
        case ERROR_NOT_READY:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        default:
            return EINVAL;
    }
}

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
    DWORD read = 0;
    if (!ReadFile(static_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &read, nullptr))
        return -1;
    return read;
}

ssize_t StreamWrite(void* cookie, const char* buffer, size_t size) {
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &written, nullptr))
        return -1;
    return written;
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
    LONG high = static_cast<LONG>(*offset >> 32);
    const DWORD method = whence == SEEK_SET ? FILE_BEGIN : whence == SEEK_CUR ? FILE_CURRENT : FILE_END;
    const DWORD low = SetFilePointer(static_cast<HANDLE>(cookie), static_cast<LONG>(*offset), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS)
        return -1;
    *offset = (static_cast<off64_t>(high) << 32) | low;
    return 0;
}

int StreamClose(void* cookie) { return CloseHandle(static_cast<HANDLE>(cookie)) ? 0 : EOF; }

}  // namespace

int _unlink(const char* filename) {
    if (DeleteFileA(filename))
        return 0;
    errno = ErrnoFor(GetLastError());
    return -1;
}

FILE* _fsopen(const char* filename, const char* mode, int shflag) {
    if (filename == nullptr || mode == nullptr || std::strchr("rwa", mode[0]) == nullptr || mode[0] == '\0') {
        errno = EINVAL;
        return nullptr;
    }
    const bool plus = std::strchr(mode, '+') != nullptr;
    DWORD access = 0, disposition = 0;
    switch (mode[0]) {
        case 'r': access = GENERIC_READ | (plus ? GENERIC_WRITE : 0); disposition = OPEN_EXISTING; break;
        case 'w': access = GENERIC_WRITE | (plus ? GENERIC_READ : 0); disposition = CREATE_ALWAYS; break;
        default: access = GENERIC_WRITE | (plus ? GENERIC_READ : 0); disposition = OPEN_ALWAYS; break;
    }
    DWORD share;
    switch (shflag) {
        case _SH_DENYRW: share = 0; break;
        case _SH_DENYWR: share = FILE_SHARE_READ; break;
        case _SH_DENYRD: share = FILE_SHARE_WRITE; break;
        case _SH_DENYNO: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
        default: errno = EINVAL; return nullptr;
    }
    HANDLE file = CreateFileA(filename, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = ErrnoFor(GetLastError());
        return nullptr;
    }
    if (mode[0] == 'a')
        SetFilePointer(file, 0, nullptr, FILE_END);
    const cookie_io_functions_t io{StreamRead, StreamWrite, StreamSeek, StreamClose};
    std::string hostMode = plus ? std::string(1, mode[0]) + "+" : std::string(1, mode[0]);
    FILE* stream = fopencookie(file, hostMode.c_str(), io);
    if (stream == nullptr) {
        CloseHandle(file);
        errno = ENOMEM;
    }
    return stream;
}
