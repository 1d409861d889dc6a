// The cleaning log through the Win32 API only: on hostwin and, cross-built,
// on a Wine drive, where the cut of the old log relies on the real
// SetEndOfFile and a held log on the real sharing rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "support/scratch_folder.h"
#include "support/test_registry_key.h"

namespace {

std::string ReadAll(const std::string& path) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<none>";
    std::string all(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(h, all.data(), static_cast<DWORD>(all.size()), &read, nullptr);
    CloseHandle(h);
    all.resize(read);
    return all;
}

void WriteAll(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(h);
}

std::vector<std::string> Lines(const std::string& all) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find("\r\n", at);
        lines.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? all.size() : end + 2;
    }
    return lines;
}

int Records(const std::string& text) {
    int n = 0;
    for (const std::string& line : Lines(text)) n += line.rfind("Drive: ", 0) == 0;
    return n;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The program location names a scratch folder, where the log goes.
class CleaningLog : public testing::Test {
protected:
    void SetUp() override {
        nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView);
        RegKey key;
        ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView));
        const std::string location = folder_.path() + "\\";
        RegSetValueExA(key.get(), "UIL", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                       static_cast<DWORD>(location.size() + 1));
        started_.AddHours(-2);
    }
    void TearDown() override { nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView); }
    void Clean() { settings_.WriteQuickCleanLog(drive_, started_); }

    nmtest::ScratchFolder folder_{"cleaning-log"};
    const std::string log_ = folder_ / "NMCleaningLog.txt";
    const std::string new_ = log_ + ".new";
    const char drive_ = folder_.path()[0];
    DateTimeStamp started_;
    ProductSettings settings_;
};

TEST_F(CleaningLog, ANewRecordGoesOnTopOfTheFirst29LinesAndTheFileEndsThere) {
    std::string old;
    for (int i = 0; i < 40; ++i) {
        old += "older line ";
        old += std::to_string(i);
        old += "\r\n";
    }
    WriteAll(log_, old);
    Clean();

    const std::string text = ReadAll(log_);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 6u + 29u);
    EXPECT_EQ(lines[0], std::string("Drive: ") + drive_);
    EXPECT_EQ(lines[1], "Operation: Quick Clean");
    EXPECT_EQ(lines[2], "Date and time operation was started: " + started_.ShortText());
    EXPECT_EQ(lines[3].rfind("Date and time operation was completed: ", 0), 0u);
    EXPECT_EQ(lines[4].substr(0, 38), "Total elapsed time (HH:MM:SS): 02:00:0");
    EXPECT_EQ(lines[5], std::string(49, '-'));
    for (int i = 0; i < 29; ++i) EXPECT_EQ(lines[6 + i], "older line " + std::to_string(i));
    size_t expected = 0;
    for (const std::string& line : lines) expected += line.size() + 2;
    EXPECT_EQ(text.size(), expected) << "nothing of the old file is left behind the text";

    ASSERT_EQ(settings_.driveRecordCount, 1);
    EXPECT_EQ(settings_.driveRecords[0].drive, drive_);
}

// Another program holds the log without delete sharing, so nothing can take
// its place.  A holder that shares writing gets the new text written over
// the log; otherwise the new text waits whole beside the log, and the first
// clean after the holder has let go puts both records in.
TEST_F(CleaningLog, AHeldLogLosesNoRecord) {
    struct Case {
        const char* holder;
        DWORD share;
        bool writtenInPlace;
    };
    const Case cases[] = {
        {"shares reading and writing", FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"shares reading only", FILE_SHARE_READ, false},
    };
    const std::string old = "older line\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holder);
        WriteAll(log_, old);
        DeleteFileA(new_.c_str());
        HANDLE holder = CreateFileA(log_.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        Clean();
        const std::string log = ReadAll(log_), beside = ReadAll(new_);
        CloseHandle(holder);
        if (c.writtenInPlace) {
            EXPECT_EQ(Records(log), 1);
            EXPECT_TRUE(EndsWith(log, "\r\n" + old)) << log;
            EXPECT_EQ(beside, "<none>");
        } else {
            EXPECT_EQ(log, old);
            EXPECT_EQ(Records(beside), 1);
            EXPECT_TRUE(EndsWith(beside, "\r\n" + old)) << beside;
        }

        Clean();
        const std::string after = ReadAll(log_);
        EXPECT_EQ(Records(after), 2);
        EXPECT_TRUE(EndsWith(after, "\r\n" + old)) << after;
        EXPECT_EQ(ReadAll(new_), "<none>");
    }
}

// A writer that ended during its turn leaves the turn abandoned; the next
// writer takes it at once and writes its record to the log.
DWORD WINAPI TakeTurnAndEnd(LPVOID) {
    HANDLE turn = CreateMutexA(nullptr, TRUE, "Global\\NMCleaningLog.txt");
    if (turn == nullptr)
        turn = CreateMutexA(nullptr, TRUE, "NMCleaningLog.txt");
    return turn != nullptr && WaitForSingleObject(turn, 0) == WAIT_OBJECT_0 ? 0 : 1;  // owned, and never released
}

TEST_F(CleaningLog, ATurnAbandonedByAWriterThatEndedIsTakenAtOnce) {
    HANDLE thread = CreateThread(nullptr, 0, TakeTurnAndEnd, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    ASSERT_EQ(code, 0u);
    Clean();
    EXPECT_EQ(Records(ReadAll(log_)), 1) << "the record went to the log, not to wait beside it";
}

}  // namespace
