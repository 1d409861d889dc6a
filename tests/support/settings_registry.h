// The product's settings key in tests: values put in and read back as bytes.
// Win32 calls only.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/reg_key.h"

namespace nmtest {

using Bytes = std::vector<BYTE>;

inline void PutSetting(const std::string& name, const Bytes& data, DWORD type = REG_BINARY) {
    RegKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView))
        RegSetValueExA(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
}

// The stored bytes, or nothing with *found false.
inline Bytes StoredSetting(const std::string& name, bool* found = nullptr) {
    RegKey key;
    Bytes data(2048);
    DWORD size = static_cast<DWORD>(data.size());
    const bool ok = key.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ | kSettingsView) &&
                    RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, data.data(), &size) == ERROR_SUCCESS;
    if (found != nullptr)
        *found = ok;
    data.resize(ok ? size : 0);
    return data;
}

inline Bytes BigEndian(PackedStamp packed) {
    Bytes bytes(8);
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<BYTE>(packed >> (56 - 8 * i));
    return bytes;
}

}  // namespace nmtest
