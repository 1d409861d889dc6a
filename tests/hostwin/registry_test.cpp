// The registry's observable rules, through the Win32 API only: this file runs
// on hostwin and, cross-built, against Wine's registry.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "support/test_registry_key.h"

namespace {

using nmtest::TestRegistryKey;

LONG SetBinary(HKEY key, const char* name, std::initializer_list<BYTE> bytes) {
    const std::vector<BYTE> data(bytes);
    return RegSetValueExA(key, name, 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}

TEST(Registry, QueryReportsTheSizeFirstAndRefusesASmallBufferWithMoreData) {
    TestRegistryKey k("QuerySize");
    ASSERT_EQ(SetBinary(k.get(), "V", {1, 2, 3, 4, 5}), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(k.get(), "V", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);

    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(k.get(), "V", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u) << "the required size comes back";

    BYTE big[16] = {};
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(k.get(), "V", nullptr, nullptr, big, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(big[4], 5);
    EXPECT_EQ(big[5], 0) << "nothing written past the value";
}

TEST(Registry, MissingValuesAndKeysAreFileNotFound) {
    TestRegistryKey k("Missing");
    BYTE buffer[8];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(k.get(), "Nope", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyExA(k.get(), "NoSuchKey", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, NamesCompareWithoutRegardToCase) {
    TestRegistryKey k("Case");
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExA(k.get(), "Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetBinary(sub, "DCCDA", {9}), ERROR_SUCCESS);
    RegCloseKey(sub);

    ASSERT_EQ(RegOpenKeyExA(k.get(), "SETTINGS", 0, KEY_READ, &sub), ERROR_SUCCESS);
    BYTE b = 0;
    DWORD size = 1;
    EXPECT_EQ(RegQueryValueExA(sub, "dccda", nullptr, nullptr, &b, &size), ERROR_SUCCESS);
    EXPECT_EQ(b, 9);
    RegCloseKey(sub);
}

TEST(Registry, CreateReportsWhetherTheKeyIsNewAndRewritesValuesInPlace) {
    TestRegistryKey k("Create");
    HKEY sub = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(k.get(), "A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(sub);
    ASSERT_EQ(RegCreateKeyExA(k.get(), "a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(sub);
}

TEST(Registry, EnumeratesValuesInOrderAndRefusesAShortNameBuffer) {
    TestRegistryKey k("Enum");
    ASSERT_EQ(SetBinary(k.get(), "First", {1}), ERROR_SUCCESS);
    ASSERT_EQ(SetBinary(k.get(), "Second", {0}), ERROR_SUCCESS);

    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[260];
        DWORD nameSize = sizeof name;
        BYTE data[16];
        DWORD dataSize = sizeof data;
        const LONG rc = RegEnumValueA(k.get(), i, name, &nameSize, nullptr, nullptr, data, &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        EXPECT_EQ(nameSize, std::string(name).size()) << "the name size excludes the terminator";
        EXPECT_EQ(dataSize, 1u);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"First", "Second"}));

    char shortName[3];
    DWORD shortSize = sizeof shortName;
    EXPECT_EQ(RegEnumValueA(k.get(), 0, shortName, &shortSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

TEST(Registry, QueryInfoCountsValuesAndSubkeys) {
    TestRegistryKey k("Info");
    ASSERT_EQ(SetBinary(k.get(), "A", {1, 2, 3}), ERROR_SUCCESS);
    ASSERT_EQ(SetBinary(k.get(), "LongerName", {1}), ERROR_SUCCESS);
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExA(k.get(), "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);

    DWORD subkeys = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 1u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 10u);
    EXPECT_EQ(maxData, 3u);
}

TEST(Registry, DeleteKeyRemovesOnlyLeafKeys) {
    TestRegistryKey k("Delete");
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExA(k.get(), "Parent\\Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);
    EXPECT_NE(RegDeleteKeyA(k.get(), "Parent"), ERROR_SUCCESS) << "a key with subkeys stays";
    EXPECT_EQ(RegDeleteKeyA(k.get(), "Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(k.get(), "Parent"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(k.get(), "Parent"), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, AHandleToADeletedKeyNoLongerReadsOrWrites) {
    TestRegistryKey k("Deleted");
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExA(k.get(), "Gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(k.get(), "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(SetBinary(sub, "V", {1}), ERROR_KEY_DELETED);
    RegCloseKey(sub);
}

TEST(Registry, AReadOnlyHandleCannotWrite) {
    TestRegistryKey k("Rights");
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, k.path().c_str(), 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(SetBinary(readOnly, "V", {1}), ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);

    HKEY queryOnly = nullptr;
    ASSERT_EQ(SetBinary(k.get(), "V", {7}), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, k.path().c_str(), 0, KEY_QUERY_VALUE, &queryOnly), ERROR_SUCCESS);
    BYTE b = 0;
    DWORD size = 1;
    EXPECT_EQ(RegQueryValueExA(queryOnly, "V", nullptr, nullptr, &b, &size), ERROR_SUCCESS);
    EXPECT_EQ(b, 7);
    RegCloseKey(queryOnly);
}

TEST(Registry, DeleteValueAndFlush) {
    TestRegistryKey k("DeleteValue");
    ASSERT_EQ(SetBinary(k.get(), "V", {1}), ERROR_SUCCESS);
    EXPECT_EQ(RegFlushKey(k.get()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(k.get(), "v"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(k.get(), "V"), ERROR_FILE_NOT_FOUND);
}

}  // namespace
