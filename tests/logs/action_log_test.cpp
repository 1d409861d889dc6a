// The action log: header, record layout, and what happens on later records
// and on a file that cannot be created.
#include "logs/action_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "support/file_text.h"
#include "support/scratch_folder.h"

namespace {

using hostwin::Machine;
using nmtest::ScratchFolder;

const std::string kSeparator(66, '-');

std::string ExpectedHeader(const char* os) {
    return kSeparator + "\r\nAction Log\r\n\r\nProduct: Nullmark \r\nOS: " + os +
           "\r\n\r\n"
           "PLEASE NOTE: If any errors concerning \"Names of Deleted Files\"\r\n"
           "             have been logged, the most likely cause is a corrupt\r\n"
           "             file system.  Before running Nullmark again, verify\r\n"
           "             the integrity of your file system using a utility such\r\n"
           "             as scandisk or chkdsk.  The likely cause for any other\r\n"
           "             logged error is that one or more files were in use by\r\n"
           "             Windows or some software application.  Try restarting\r\n"
           "             your computer and/or shutting down all applications\r\n"
           "             before running Nullmark again.\r\n" +
           kSeparator + "\r\n\r\n\r\n";
}

std::string Record(const char* drive, const char* action, const char* problem) {
    return kSeparator + "\r\nDrive: " + drive + "\r\nAction: " + action + "\r\nProblem: " + problem + "\r\n";
}

std::string ReadLog(const std::string& path) { return nmtest::ReadFileText(path, "<no file>"); }

class ActionLogTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        dir_ = std::make_unique<ScratchFolder>("actionlog");
        ASSERT_TRUE(SetCurrentDirectoryA(dir_->path().c_str()));
    }
    void TearDown() override {
        dir_.reset();
        Machine::Reset();
    }
    std::string LogText() const { return ReadLog(*dir_ / "NMActionLog.txt"); }

    std::unique_ptr<ScratchFolder> dir_;
};

TEST_F(ActionLogTest, TheFirstRecordStartsTheFileUnderTheHeaderAndLaterOnesAppend) {
    // An earlier process's file is replaced by the first record of this one.
    HANDLE old = CreateFileA("NMActionLog.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD n;
    WriteFile(old, "old text", 8, &n, nullptr);
    CloseHandle(old);

    ActionLog log;
    log.AddEntry("C:\\", "Doing a thing.", "It failed.");
    EXPECT_EQ(LogText(), ExpectedHeader("Windows NT/2000/XP") + Record("C:\\", "Doing a thing.", "It failed."));

    log.AddEntry("D", "Another.", "Again: 5");
    EXPECT_EQ(LogText(), ExpectedHeader("Windows NT/2000/XP") + Record("C:\\", "Doing a thing.", "It failed.") +
                             Record("D", "Another.", "Again: 5"));

    ActionLog nextProcess;
    nextProcess.AddEntry("E", "A.", "P.");
    EXPECT_EQ(LogText(), ExpectedHeader("Windows NT/2000/XP") + Record("E", "A.", "P."));
}

TEST_F(ActionLogTest, DetailLinesFollowAnEmptyLine) {
    const std::vector<std::string> none, two = {"C:\\a\\b.txt", "C:\\c"};
    struct Case {
        const std::vector<std::string>* details;
        std::string tail;
    } cases[] = {
        {nullptr, ""},
        {&none, ""},
        {&two, "\r\nC:\\a\\b.txt\r\nC:\\c\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ActionLog::FormatRecord("C", "A.", "P.", c.details), Record("C", "A.", "P.") + c.tail);
}

TEST_F(ActionLogTest, TheOsLineJudgesWindows9xByTheLowHalfOfTheBuild) {
    struct Case {
        DWORD platform, build;
        const char* os;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 2600, "Windows NT/2000/XP"},
        {VER_PLATFORM_WIN32_WINDOWS, 1111, "Windows 9x OSR2"},
        {VER_PLATFORM_WIN32_WINDOWS, 1000, "Windows 9x OSR1"},
        {VER_PLATFORM_WIN32_WINDOWS, 1001, "Windows 9x OSR2"},
        {VER_PLATFORM_WIN32_WINDOWS, 2999, "Windows 9x OSR2"},
        {VER_PLATFORM_WIN32_WINDOWS, 3000, "Windows 9x OSR3"},
        {VER_PLATFORM_WIN32_WINDOWS, 0x040A0000 | 950, "Windows 9x OSR1"},
        {VER_PLATFORM_WIN32_WINDOWS, 0x040A08AE, "Windows 9x OSR2"},
        {VER_PLATFORM_WIN32s, 5000, "Windows 9x OSR1"},
    };
    for (const auto& c : cases) {
        Machine::SetOsVersion(hostwin::OsVersion{c.platform, 4, 10, c.build, ""});
        EXPECT_EQ(ActionLog::FormatHeader(), ExpectedHeader(c.os)) << c.platform << "/" << std::hex << c.build;
    }
}

TEST_F(ActionLogTest, AFileThatCannotBeCreatedKeepsTheHeaderPending) {
    ActionLog log;
    Machine::FailNext("CreateFileA", ERROR_ACCESS_DENIED);
    log.AddEntry("C", "Lost.", "Nobody reads this.");
    EXPECT_EQ(LogText(), "<no file>");

    ASSERT_TRUE(Machine::SetReadOnly(dir_->path(), true));
    log.AddEntry("C", "Lost too.", "Read-only folder.");
    ASSERT_TRUE(Machine::SetReadOnly(dir_->path(), false));
    EXPECT_EQ(LogText(), "<no file>");

    log.AddEntry("C", "Kept.", "First to arrive.");
    EXPECT_EQ(LogText(), ExpectedHeader("Windows NT/2000/XP") + Record("C", "Kept.", "First to arrive."));
    EXPECT_EQ(Machine::OpenFiles(), 0u) << "the file is closed after every record";
}

TEST_F(ActionLogTest, TheFileFollowsTheCurrentDirectory) {
    ActionLog log;
    log.AddEntry("C", "Here.", "1");
    ASSERT_TRUE(CreateDirectoryA((*dir_ / "elsewhere").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA("elsewhere"));
    log.AddEntry("C", "There.", "2");
    EXPECT_EQ(ReadLog(*dir_ / "elsewhere\\NMActionLog.txt"), Record("C", "There.", "2"))
        << "appended (here: created) without a second header";
}

}  // namespace
