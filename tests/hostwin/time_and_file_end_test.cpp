// File-time conversion, the time zone, SetEndOfFile and the registry writes
// the settings save makes, through the Win32 API only: this file runs on
// hostwin and, cross-built, against Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "support/scratch_folder.h"
#include "support/test_registry_key.h"

namespace {

using nmtest::ScratchFolder;
using nmtest::TestRegistryKey;

// Wine 8 takes 29 February of any year (it refuses the other days that do
// not exist); Windows refuses it outside leap years.
bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ULONGLONG Ticks(const FILETIME& ft) { return (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime; }

TEST(FileTimes, SystemTimeToFileTimeRefusesTimesThatDoNotExist) {
    struct Case {
        const char* name;
        SYSTEMTIME st;
        bool ok;
    };
    const bool wine = RunningOnWine();
    const Case cases[] = {
        {"7 Mar 2003", {2003, 3, 5, 7, 21, 5, 9, 0}, true},
        {"29 Feb 2004", {2004, 2, 0, 29, 0, 0, 0, 0}, true},
        {"29 Feb 2003", {2003, 2, 0, 29, 0, 0, 0, 0}, wine},
        {"29 Feb 2100 (no leap year for the platform)", {2100, 2, 0, 29, 0, 0, 0, 0}, wine},
        {"31 Apr", {2003, 4, 0, 31, 0, 0, 0, 0}, false},
        {"month 13", {2003, 13, 0, 1, 0, 0, 0, 0}, false},
        {"month 0", {2003, 0, 0, 1, 0, 0, 0, 0}, false},
        {"day 0", {2003, 1, 0, 0, 0, 0, 0, 0}, false},
        {"year 1600", {1600, 12, 0, 31, 23, 59, 59, 999}, false},
        {"hour 24", {2003, 1, 0, 1, 24, 0, 0, 0}, false},
        {"minute 60", {2003, 1, 0, 1, 0, 60, 0, 0}, false},
        {"second 60", {2003, 1, 0, 1, 0, 0, 60, 0}, false},
        {"1000 ms", {2003, 1, 0, 1, 0, 0, 0, 1000}, false},
        {"weekday 9 is ignored", {2003, 3, 9, 7, 21, 5, 9, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FILETIME ft{};
        SetLastError(0);
        EXPECT_EQ(SystemTimeToFileTime(&c.st, &ft) != FALSE, c.ok);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
    FILETIME first{}, named{}, otherWeekday{};
    const SYSTEMTIME start{1601, 1, 1, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&start, &first));
    EXPECT_EQ(Ticks(first), 0u);
    const SYSTEMTIME march{2003, 3, 5, 7, 21, 5, 9, 0}, marchWeekday9{2003, 3, 9, 7, 21, 5, 9, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&march, &named));
    ASSERT_TRUE(SystemTimeToFileTime(&marchWeekday9, &otherWeekday));
    EXPECT_EQ(Ticks(named), 126915447090000000ull);
    EXPECT_EQ(Ticks(named), Ticks(otherWeekday));
}

TEST(FileTimes, FileTimeToSystemTimeGivesTheDateAndItsWeekday) {
    const FILETIME zero{0, 0};
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&zero, &st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 1) << "1 January 1601 was a Monday";

    const ULONGLONG march = 126915447090000000ull + 1234 * 10000ull;  // 7 Mar 2003 21:05:10.234
    const FILETIME ft{static_cast<DWORD>(march), static_cast<DWORD>(march >> 32)};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    const SYSTEMTIME expected{2003, 3, 5, 7, 21, 5, 10, 234};
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&st), sizeof st),
              std::string(reinterpret_cast<const char*>(&expected), sizeof expected));

    const FILETIME negative{0, 0x80000000u};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The local clock is the universal one moved by the bias that the zone's
// answer puts in force.
TEST(FileTimes, LocalTimeIsUniversalTimeMinusTheZonesBias) {
    TIME_ZONE_INFORMATION zone{};
    const DWORD answer = GetTimeZoneInformation(&zone);
    ASSERT_NE(answer, TIME_ZONE_ID_INVALID);
    const LONG bias = zone.Bias + (answer == TIME_ZONE_ID_STANDARD   ? zone.StandardBias
                                   : answer == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias
                                                                     : 0);
    SYSTEMTIME local, universal;
    GetSystemTime(&universal);
    GetLocalTime(&local);
    FILETIME localFt, universalFt;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localFt));
    ASSERT_TRUE(SystemTimeToFileTime(&universal, &universalFt));
    const LONGLONG differenceMs =
        static_cast<LONGLONG>(Ticks(universalFt) - Ticks(localFt)) / 10000 - LONGLONG{bias} * 60000;
    SCOPED_TRACE(testing::Message() << "answer " << answer << ", bias in force " << bias);
    EXPECT_LT(differenceMs < 0 ? -differenceMs : differenceMs, 2000);
}

std::string FileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    std::string bytes(256, '\0');
    DWORD read = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(h);
    bytes.resize(read);
    return bytes;
}

TEST(FileEnd, SetEndOfFileCutsOrExtendsAtTheFilePointer) {
    ScratchFolder folder("file-end");
    const std::string path = folder / "log.txt";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &done, nullptr));
    ASSERT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
    ASSERT_TRUE(SetEndOfFile(h));
    EXPECT_EQ(GetFileSize(h, nullptr), 4u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 4u) << "the pointer stays where it was";
    ASSERT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
    EXPECT_EQ(FileBytes(path), std::string("0123\0\0", 6)) << "an extension reads as zeros";

    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    // Windows answers ERROR_ACCESS_DENIED; Wine 8 ERROR_INVALID_PARAMETER.
    const DWORD refused = RunningOnWine() ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
    SetLastError(0);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_EQ(GetLastError(), refused);
    CloseHandle(reader);
    EXPECT_EQ(FileBytes(path).size(), 6u);

    SetLastError(0);
    EXPECT_FALSE(SetEndOfFile(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The save opens its key with KEY_SET_VALUE alone, deletes a subkey through
// it, creates nested keys and writes empty binary values.
TEST(RegistryWrites, WhatTheSettingsSaveDoes) {
    TestRegistryKey k("SaveCalls");
    const std::string settings = k.path() + "\\Deep\\Er\\Settings";
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, settings.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const BYTE none = 0;
    EXPECT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, &none, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab"), 3), ERROR_SUCCESS);
    DWORD size = 16;
    BYTE buffer[16];
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, nullptr, buffer, &size), ERROR_ACCESS_DENIED)
        << "KEY_SET_VALUE does not read";
    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);

    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (settings + "\\DCE").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);
    EXPECT_EQ(RegDeleteKeyA(key, "DCE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, "DCE"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, settings.c_str(), 0, KEY_READ, &reader), ERROR_SUCCESS);
    DWORD type = 0;
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(reader, "Empty", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(reader, "Text", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(RegOpenKeyExA(reader, "DCE", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
    RegCloseKey(reader);
}

}  // namespace
