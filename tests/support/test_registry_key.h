// A registry key of the test's own under HKEY_CURRENT_USER, removed with
// everything below it at the end of the test.  Win32 calls only, so that the
// same test runs against Wine's registry.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

// `view` (KEY_WOW64_32KEY or KEY_WOW64_64KEY, or 0 for the process's own)
// holds for the whole tree: every key is deleted through a handle of its
// parent opened in that view.
inline void DeleteTree(HKEY root, const std::string& path, REGSAM view = 0) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        char name[256];
        for (;;) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteTree(key, name, view);
        }
        RegCloseKey(key);
    }
    const size_t cut = path.rfind('\\');
    HKEY parent = nullptr;
    if (cut != std::string::npos &&
        RegOpenKeyExA(root, path.substr(0, cut).c_str(), 0, KEY_READ | view, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyA(parent, path.substr(cut + 1).c_str());
        RegCloseKey(parent);
    } else if (cut == std::string::npos) {
        RegDeleteKeyA(root, path.c_str());
    }
}

class TestRegistryKey {
public:
    explicit TestRegistryKey(const std::string& name) : path_("Software\\NMShell402Tests\\" + name) {
        DeleteTree(HKEY_CURRENT_USER, path_);
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~TestRegistryKey() {
        if (key_)
            RegCloseKey(key_);
        DeleteTree(HKEY_CURRENT_USER, path_);
    }
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    HKEY get() const { return key_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    HKEY key_ = nullptr;
};

}  // namespace nmtest
