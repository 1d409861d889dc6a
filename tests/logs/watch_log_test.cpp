// The watch log: appended to where it exists, never created.  Win32 calls
// only: runs on hostwin and under Wine.
#include "logs/watch_log.h"

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "support/file_helpers.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ReadFileText;
using nmtest::ScratchFolder;
using nmtest::WriteFileText;

TEST(WatchLog, AppendsALineWithOrWithoutTheTrailingBackslash) {
    ScratchFolder dir("watchlog");
    const std::string log = dir / "nmwatchlog.txt";
    WriteFileText(log, "first\r\n");
    EXPECT_TRUE(AppendWatchLog("second", dir.path()));
    EXPECT_TRUE(AppendWatchLog("third", dir.path() + "\\"));
    EXPECT_TRUE(AppendWatchLog("", dir.path())) << "an empty text still adds its line break";
    EXPECT_EQ(ReadFileText(log), "first\r\nsecond\r\nthird\r\n\r\n");
}

TEST(WatchLog, NeverCreatesTheLog) {
    ScratchFolder dir("watchlog-missing");
    EXPECT_FALSE(AppendWatchLog("line", dir.path()));
    EXPECT_EQ(GetFileAttributesA((dir / "nmwatchlog.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(AppendWatchLog("line", "")) << "no folder at all";
    EXPECT_FALSE(AppendWatchLog("line", dir / "no such folder"));
}

TEST(WatchLog, ALogHeldWithoutWriteSharingRefusesTheLine) {
    ScratchFolder dir("watchlog-held");
    const std::string log = dir / "nmwatchlog.txt";
    WriteFileText(log, "");
    HANDLE holder = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendWatchLog("line", dir.path()));
    CloseHandle(holder);
    EXPECT_TRUE(AppendWatchLog("line", dir.path()));
    EXPECT_EQ(ReadFileText(log), "line\r\n");
}

}  // namespace
