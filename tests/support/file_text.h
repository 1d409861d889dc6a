// A whole file read through the Win32 API, for tests that compare what the
// product wrote.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

// The file's bytes, or `missing` when it cannot be opened.
inline std::string ReadFileText(const std::string& path, const std::string& missing = "") {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return missing;
    std::string text(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(h);
    text.resize(read);
    return text;
}

}  // namespace nmtest
