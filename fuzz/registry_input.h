// Arbitrary bytes as the values of the settings key, for the fuzzers.
//
// Records of
//   name selector (1 byte), type (1 byte), length (2 bytes, little-endian),
//   data (length bytes, cut at the end of the input)
// A selector below the number of known names picks that setting's name; the
// selectors after them write into the "DCT" or "DCE" subkey, and the rest use
// the first data bytes as the value's name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace nmfuzz {

inline constexpr char kKey[] = "software\\Greyfell\\VI4\\Settings";

inline const char* const kNames[] = {"ADM",  "DCCDA", "DCLC", "DCG",      "DCO",       "DCSL",      "DCSI",       "DCU",
                              "DSL",  "DSP",   "DSC",  "ECD",      "EFR",       "EGP",       "EGPL",       "EHU",
                              "ELCC", "ENST",  "PG",   "PP",       "PPH",       "LLC",       "Base Top",   "Base Left",
                              "Agent Top", "Agent Left", "DCT", "DCE"};
inline constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string Bytes(size_t n) {
        n = std::min(n, size_ - std::min(at_, size_));
        std::string s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

inline void SetValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& data) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

// Every record of the rest of the input becomes one registry value.
inline void StoreSettingsValues(Input* in) {
    while (!in->Empty()) {
        const uint8_t selector = in->Byte();
        const DWORD type = in->Byte() % 12;
        const size_t length = in->Byte() | size_t{in->Byte()} << 8;
        std::string name;
        std::string keyPath = kKey;
        if (selector < kNameCount) {
            name = kNames[selector];
        } else {
            name = in->Bytes(selector % 16);  // also the empty (default) name
            if (selector % 3 == 0)
                keyPath += "\\DCT";
            else if (selector % 3 == 1)
                keyPath += "\\DCE";
        }
        SetValue(keyPath, name, type, in->Bytes(length));
    }
}

}  // namespace nmfuzz
