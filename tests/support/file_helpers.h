// Whole files through the Win32 calls, for tests that run on hostwin and
// under Wine.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

inline bool WriteFileText(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == text.size();
}

// "<cannot open>" when the file cannot be read.
inline std::string ReadFileText(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    std::string text(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(h);
    text.resize(read);
    return text;
}

// Writes a small file, making the folders above it (below the drive root)
// first, and gives it `attributes` when they are not 0.
inline bool MakeFile(const std::string& path, DWORD attributes = 0, const std::string& text = "data") {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    if (!WriteFileText(path, text))
        return false;
    return attributes == 0 || SetFileAttributesA(path.c_str(), attributes);
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace nmtest
