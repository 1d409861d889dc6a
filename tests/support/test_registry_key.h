// A registry key of the test's own under HKEY_CURRENT_USER, removed with
// everything below it at the end of the test.  Win32 calls only, so that the
// same test runs against Wine's registry.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

inline void DeleteTree(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        char name[256];
        for (;;) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteTree(root, path + "\\" + name);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
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
