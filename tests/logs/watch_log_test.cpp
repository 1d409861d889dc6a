// The watch log: appended to where it exists, never created.  Win32 calls
// only: runs on hostwin and under Wine.
#include "logs/watch_log.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

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

#ifndef _WIN32
// A write cut short, as a full disk cuts one: on the host the process's
// file-size limit takes the line's first bytes only (Windows offers a test
// no such limit, so this part runs on the host alone).
TEST(WatchLog, ALineCutShortIsNotWritten) {
    ScratchFolder dir("watchlog-short");
    const std::string log = dir / "nmwatchlog.txt";
    WriteFileText(log, "first\r\n");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 7 + 3;  // the first line and three bytes more
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = AppendWatchLog("second", dir.path());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFileText(log), "first\r\nsec");
}
#endif

}  // namespace
