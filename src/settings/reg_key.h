// The product's settings key and a registry key that closes itself.
#pragma once

#include "platform/win32.h"

// HKEY_LOCAL_MACHINE, where every component of the product keeps its settings.
constexpr char kSettingsKey[] = "software\\Greyfell\\VI4\\Settings";

class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(HKEY root, const char* path, REGSAM access) {
        return RegOpenKeyExA(root, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};
