// A fresh, empty folder for a test, removed with everything in it at the end.
// Win32 calls only: on the host it lies on a simulated fixed drive, under
// Windows in the temporary folder.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

// Where the scratch folders of this platform live ("T:\" on the host).
std::string ScratchParent();

inline void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) : path_(ScratchParent() + "nm-" + name) {
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
        char cwd[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, cwd);
        savedCwd_ = cwd;
    }
    ~ScratchFolder() {
        SetCurrentDirectoryA(savedCwd_.c_str());
        RemoveTree(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    std::string savedCwd_;
};

}  // namespace nmtest
