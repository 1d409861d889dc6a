// The product's settings key and a registry key that closes itself.
#pragma once

#include "platform/win32.h"

// HKEY_LOCAL_MACHINE, where every component of the product keeps its settings.
constexpr char kSettingsKey[] = "software\\Greyfell\\VI4\\Settings";

// The product is a 32-bit program: on 64-bit Windows its settings live in the
// registry's 32-bit view, so the 64-bit build asks for that view whenever it
// opens the settings key.  The 32-bit build asks for no view at all, which
// Windows 9x and 32-bit Windows would not know.  System values stay native.
constexpr REGSAM kSettingsView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(HKEY root, const char* path, REGSAM access) {
        return RegOpenKeyExA(root, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    // Opens the key for `access`, creating it (and its parents) when missing.
    bool Create(HKEY root, const char* path, REGSAM access) {
        return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr) ==
               ERROR_SUCCESS;
    }
    void Close() {
        if (key_ != nullptr)
            RegCloseKey(key_);
        key_ = nullptr;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};
