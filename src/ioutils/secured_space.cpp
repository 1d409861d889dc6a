#include "ioutils/secured_space.h"

#include <cstdio>

namespace {

constexpr char kFolderFormat[] = "%c:\\Nullmark Secured Space";
constexpr char kPatternFormat[] = "%c:\\Nullmark Secured Space\\*.%s";
constexpr char kFileFormat[] = "%c:\\Nullmark Secured Space\\";
constexpr char kExtension[] = "T~P";

// Upper-case hexadecimal without leading zeros, as "%I64X" prints it; done by
// hand because not every C runtime knows that format.
std::string Hex64(ULONGLONG value) {
    static const char kDigits[] = "0123456789ABCDEF";
    char digits[16];
    int n = 0;
    do {
        digits[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    std::string text;
    while (n > 0)
        text += digits[--n];
    return text;
}

}  // namespace

ULONGLONG GetSecuredSpaceSize(char drive) {
    char pattern[100] = {};
    std::snprintf(pattern, sizeof pattern, kPatternFormat, drive, kExtension);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    char folder[100] = {};
    std::snprintf(folder, sizeof folder, kFileFormat, drive);
    ULONGLONG total = 0;
    do {
        // Only the low 32 bits of a size are looked at, as always: a file of
        // 4 GiB and more counts by its remainder.
        const DWORD size = found.nFileSizeLow;
        if (size > kSecuredSpacePruneLimit) {
            // A foreign name may be longer than the product's 100-character
            // path buffers: the path is built without a fixed limit.  A file
            // that cannot be deleted stays and is not counted.
            const std::string path = std::string(folder) + found.cFileName;
            DeleteFileA(path.c_str());
            continue;
        }
        total += size;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return total;
}

std::string SecuredSpaceFileNameFor(ULONGLONG fileTime) {
    ULONGLONG swapped = 0;
    for (int i = 0; i < 8; ++i) {
        swapped = (swapped << 8) | (fileTime & 0xFF);
        fileTime >>= 8;
    }
    return Hex64(swapped) + "." + kExtension;
}

std::string MakeSecuredSpaceFileName() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME ft{};
    SystemTimeToFileTime(&now, &ft);
    return SecuredSpaceFileNameFor((ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
}

bool EnsureSecuredSpaceFolder(char drive) {
    char folder[100] = {};
    std::snprintf(folder, sizeof folder, kFolderFormat, drive);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return true;
    }
    return CreateDirectoryA(folder, nullptr) != FALSE;
}
