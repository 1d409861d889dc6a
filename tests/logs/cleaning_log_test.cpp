// The cleaning log through the Win32 API only: on hostwin and, cross-built,
// on a Wine drive, where the cut of the old log relies on the real
// SetEndOfFile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "support/scratch_folder.h"
#include "support/test_registry_key.h"

namespace {

std::vector<std::string> Lines(const std::string& path, size_t* size) {
    std::vector<std::string> lines;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lines;
    std::string all(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(h, all.data(), static_cast<DWORD>(all.size()), &read, nullptr);
    CloseHandle(h);
    all.resize(read);
    *size = all.size();
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find("\r\n", at);
        lines.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? all.size() : end + 2;
    }
    return lines;
}

TEST(CleaningLog, ANewRecordGoesOnTopOfTheFirst29LinesAndTheFileEndsThere) {
    nmtest::ScratchFolder folder("cleaning-log");
    nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView);
    {
        RegKey key;
        ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView));
        const std::string location = folder.path() + "\\";
        RegSetValueExA(key.get(), "UIL", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                       static_cast<DWORD>(location.size() + 1));
    }
    const std::string log = folder / "NMCleaningLog.txt";
    std::string old;
    for (int i = 0; i < 40; ++i) {
        old += "older line ";
        old += std::to_string(i);
        old += "\r\n";
    }
    HANDLE h = CreateFileA(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    WriteFile(h, old.data(), static_cast<DWORD>(old.size()), &done, nullptr);
    CloseHandle(h);

    DateTimeStamp started;
    started.AddHours(-2);
    ProductSettings settings;
    const char drive = folder.path()[0];
    settings.WriteQuickCleanLog(drive, started);
    nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView);

    size_t size = 0;
    const std::vector<std::string> lines = Lines(log, &size);
    ASSERT_EQ(lines.size(), 6u + 29u);
    EXPECT_EQ(lines[0], std::string("Drive: ") + drive);
    EXPECT_EQ(lines[1], "Operation: Quick Clean");
    EXPECT_EQ(lines[2], "Date and time operation was started: " + started.ShortText());
    EXPECT_EQ(lines[3].rfind("Date and time operation was completed: ", 0), 0u);
    EXPECT_EQ(lines[4].substr(0, 38), "Total elapsed time (HH:MM:SS): 02:00:0");
    EXPECT_EQ(lines[5], std::string(49, '-'));
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(lines[6 + i], "older line " + std::to_string(i));
    size_t expected = 0;
    for (const std::string& line : lines)
        expected += line.size() + 2;
    EXPECT_EQ(size, expected) << "nothing of the old file is left behind the text";

    ASSERT_EQ(settings.driveRecordCount, 1);
    EXPECT_EQ(settings.driveRecords[0].drive, drive);
}

}  // namespace
