#include "ioutils/secured_space.h"

#include <cstdio>
#include <vector>

#include "ioutils/file_handle.h"
#include "ioutils/handle_walker.h"

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

// Whether an exact name matches "*.T~P" as the system matches it against a
// long name: it ends in the extension, in any case of its ASCII letters.
bool HasSecuredExtension(const WideName& name) {
    const size_t length = sizeof kExtension;  // the extension and its "."
    if (name.size() < length || name[name.size() - length] != '.')
        return false;
    for (size_t i = 0; i + 1 < length; ++i) {
        WCHAR c = name[name.size() - length + 1 + i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<WCHAR>(c - 'a' + 'A');
        if (c != static_cast<WCHAR>(kExtension[i]))
            return false;
    }
    return true;
}

// The folder listed through its handle and each file above the limit
// deleted through its own, by its exact name: a listed name is never made
// into a path that could lead elsewhere.
ULONGLONG MeasureByHandle(char drive, const ntfile::Calls& calls) {
    char folder[100] = {};
    std::snprintf(folder, sizeof folder, kFolderFormat, drive);
    removal::HandleWalker walker(calls);
    HANDLE handle;
    WideName name;
    if (!walker.OpenFolder(folder, &handle, &name))
        return 0;
    FileHandle held(handle);
    std::vector<removal::ListedEntry> entries;
    if (!walker.entries().List(handle, &entries))
        return 0;
    ULONGLONG total = 0;
    for (const removal::ListedEntry& entry : entries) {
        if (!HasSecuredExtension(entry.name))
            continue;
        // Only the low 32 bits of a size are looked at, as always.
        const DWORD size = static_cast<DWORD>(entry.size);
        if (size > kSecuredSpacePruneLimit) {
            walker.RemoveFile(handle, name, entry, removal::HandleWalker::Effort::kOnce);  // it stays if it cannot go
            continue;
        }
        total += size;
    }
    return total;
}

}  // namespace

ULONGLONG GetSecuredSpaceSize(char drive) {
    const ntfile::Calls calls = ntfile::FindCalls();
    if (calls.present())
        return MeasureByHandle(drive, calls);
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
