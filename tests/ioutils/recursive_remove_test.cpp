// Recursive removal on a simulated drive: what goes, what stays, the retries
// on a held file (on virtual time) and the action-log records.
#include "ioutils/recursive_remove.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "hostwin/machine.h"
#include "support/file_helpers.h"

namespace {

using hostwin::Machine;
using nmtest::Exists;
using nmtest::ReadFileText;

const std::string kSeparator(66, '-');
constexpr char kLog[] = "C:\\logs\\NMActionLog.txt";

std::string Record(const std::string& drive, const std::string& problem, const std::string& detail) {
    std::string r = kSeparator + "\r\nDrive: " + drive + "\r\nAction: Cleaning the contents of a directory\r\nProblem: " +
                    problem + "\r\n";
    if (!detail.empty())
        r += "\r\n" + detail + "\r\n";
    return r;
}
const std::string kFileProblem = "Unable to remove the following file (it may be in use):";
const std::string kFolderProblem = "Unable to remove the following subdirectory (it may not be empty):";

// The records of this test: the log's text after its header.
std::string Records() {
    const std::string text = ReadFileText(kLog);
    if (text == "<cannot open>")
        return "";
    const size_t end = text.find(kSeparator + "\r\n\r\n\r\n");
    return end == std::string::npos ? text : text.substr(end + kSeparator.size() + 6);
}

class RecursiveRemoveTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::UseVirtualSleep(true);
        Machine::DriveSetup c;
        c.letter = 'C';
        Machine::AddDrive(c);
        ASSERT_TRUE(CreateDirectoryA("C:\\logs", nullptr));
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\logs"));
        ASSERT_TRUE(CreateDirectoryA("C:\\t", nullptr));
    }
    void TearDown() override { Machine::Reset(); }

    static void Make(const std::string& path, DWORD attributes = 0) {
        ASSERT_TRUE(nmtest::MakeFile(path, attributes)) << path;
    }
};

// However the root is written: the length rule first, then the folder as
// GetFullPathNameA resolves it.  Nothing goes.
TEST_F(RecursiveRemoveTest, ADriveRootIsRefusedWithOneRecord) {
    Make("C:\\keep.txt");
    Make("C:\\a\\inner.txt");
    for (const char* root : {"C:\\", "C:", "C:\\.", "C:\\..", "C:\\a\\..", "C:\\\\", "C:/.", "\\\\srv\\share\\",
                             "C:\\t\\..\\a\\..\\.", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(root != nullptr ? root : "(null)");
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM(root));
        EXPECT_EQ(Records(), before + Record(root != nullptr ? root : "",
                                            "Cleaning the root directory of a drive is not allowed!", ""));
    }
    EXPECT_FALSE(RemoveDirectoryFiles(nullptr)) << "no name is no folder, not the current drive's root";
    EXPECT_TRUE(Exists("C:\\keep.txt"));
    EXPECT_TRUE(Exists("C:\\a\\inner.txt"));
    EXPECT_TRUE(Exists("C:\\t"));
}

// Links are entries: removed as themselves, never entered, whatever they
// lead to (a folder on another drive, a folder and a file on this one, or
// nothing).  hostwin shows a host symbolic link as Windows shows one.
TEST_F(RecursiveRemoveTest, LinksGoAsEntriesAndWhatTheyLeadToStays) {
    Machine::DriveSetup d;
    d.letter = 'D';
    Machine::AddDrive(d);
    Make("D:\\outside\\precious.doc");
    Make("D:\\outside\\deeper\\more.doc");
    Make("C:\\keep\\kept.txt");
    const std::string t = Machine::HostPath("C:\\t");
    ASSERT_EQ(::symlink(Machine::HostPath("D:\\outside").c_str(), (t + "/other-drive").c_str()), 0);
    ASSERT_EQ(::symlink(Machine::HostPath("C:\\keep").c_str(), (t + "/same-drive").c_str()), 0);
    ASSERT_EQ(::symlink(Machine::HostPath("C:\\keep\\kept.txt").c_str(), (t + "/file-link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("/nowhere/at/all", (t + "/dangling").c_str()), 0);
    Make("C:\\t\\sub\\plain.txt");
    ASSERT_EQ(::symlink(Machine::HostPath("D:\\outside").c_str(), (t + "/sub/nested").c_str()), 0);

    EXPECT_EQ(GetFileAttributesA("C:\\t\\other-drive"), DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA("C:\\t\\file-link.txt"), DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE});

    EXPECT_TRUE(RemoveDirectoryFiles("C:\\t"));
    EXPECT_FALSE(Exists("C:\\t\\file-link.txt"));
    EXPECT_FALSE(Exists("C:\\t\\dangling"));
    EXPECT_TRUE(Exists("C:\\t\\other-drive")) << "a folder link is a folder entry here";

    EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
    EXPECT_EQ(Records(), "");
    for (const char* gone : {"C:\\t\\other-drive", "C:\\t\\same-drive", "C:\\t\\sub"})
        EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_EQ(ReadFileText("D:\\outside\\precious.doc"), "data");
    EXPECT_EQ(ReadFileText("D:\\outside\\deeper\\more.doc"), "data");
    EXPECT_EQ(ReadFileText("C:\\keep\\kept.txt"), "data");
}

// A folder named through a link is the link's target: neither removal
// empties it, both say so.
TEST_F(RecursiveRemoveTest, AFolderThatIsALinkIsNotEmptied) {
    Make("C:\\keep\\kept.txt");
    ASSERT_EQ(::symlink(Machine::HostPath("C:\\keep").c_str(), Machine::HostPath("C:\\t\\link").c_str()), 0);
    EXPECT_FALSE(IO_RecursiveRM("C:\\t\\link"));
    EXPECT_FALSE(RemoveDirectoryFiles("C:\\t\\link"));
    EXPECT_EQ(ReadFileText("C:\\keep\\kept.txt"), "data");
    EXPECT_EQ(Records(), Record("C", kFolderProblem, "C:\\t\\link") + Record("C", kFolderProblem, "C:\\t\\link"));
}

TEST_F(RecursiveRemoveTest, EverythingGoesButDesktopIni) {
    Make("C:\\t\\a.txt");
    Make("C:\\t\\desktop.ini");
    Make("C:\\t\\sub\\b.txt");
    Make("C:\\t\\sub\\deeper\\c.txt", FILE_ATTRIBUTE_READONLY);
    Make("C:\\t\\sub\\deeper\\hidden.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(SetFileAttributesA("C:\\t\\sub\\deeper", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
    EXPECT_TRUE(Exists("C:\\t\\desktop.ini"));
    EXPECT_FALSE(Exists("C:\\t\\a.txt"));
    EXPECT_FALSE(Exists("C:\\t\\sub"));
    EXPECT_TRUE(Exists("C:\\t")) << "the folder itself stays";
    EXPECT_EQ(Records(), "");
    EXPECT_EQ(Machine::OpenHandles(), 0u);
}

TEST_F(RecursiveRemoveTest, AFolderKeepingADesktopIniIsRecordedOnce) {
    Make("C:\\t\\a.txt");
    Make("C:\\t\\sub\\DESKTOP.INI");
    Make("C:\\t\\sub\\b.txt");
    EXPECT_FALSE(IO_RecursiveRM("C:\\t"));
    EXPECT_EQ(Records(), Record("C", kFolderProblem, "C:\\t\\sub"));
    EXPECT_TRUE(Exists("C:\\t\\sub\\DESKTOP.INI"));
    EXPECT_FALSE(Exists("C:\\t\\sub\\b.txt"));
    EXPECT_FALSE(Exists("C:\\t\\a.txt"));
}

TEST_F(RecursiveRemoveTest, AHeldFileIsRetriedTwiceThenEmptiedOrRecorded) {
    struct Case {
        const char* name;
        DWORD share;
        bool emptied;
    } cases[] = {
        {"held, others may write", FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"held, others may only read", FILE_SHARE_READ, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make("C:\\t\\held.doc");
        Make("C:\\t\\other.doc");
        HANDLE holder =
            CreateFileA("C:\\t\\held.doc", GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const std::string before = Records();
        const LONGLONG slept = Machine::VirtualSleptMs();
        EXPECT_EQ(IO_RecursiveRM("C:\\t"), c.emptied);
        EXPECT_EQ(Machine::VirtualSleptMs() - slept, 2000) << "two one-second waits";
        EXPECT_FALSE(Exists("C:\\t\\other.doc")) << "the walk goes on";
        CloseHandle(holder);
        EXPECT_EQ(ReadFileText("C:\\t\\held.doc"), c.emptied ? "" : "data");
        EXPECT_EQ(Records(), before + (c.emptied ? "" : Record("C", kFileProblem, "C:\\t\\held.doc")));
        DeleteFileA("C:\\t\\held.doc");
    }
}

TEST_F(RecursiveRemoveTest, AMissingFolderIsNothingToDo) {
    EXPECT_TRUE(IO_RecursiveRM("C:\\no such folder"));
    EXPECT_TRUE(RemoveDirectoryFiles("C:\\no such folder"));
    EXPECT_FALSE(Exists(kLog)) << "nothing was logged";
}

TEST_F(RecursiveRemoveTest, RemoveDirectoryFilesLeavesSubfoldersAndAcceptsARoot) {
    Make("C:\\t\\a.txt", FILE_ATTRIBUTE_READONLY);
    Make("C:\\t\\desktop.ini");
    Make("C:\\t\\sub\\b.txt");
    Make("C:\\root.txt");
    EXPECT_TRUE(RemoveDirectoryFiles("C:\\t"));
    EXPECT_FALSE(Exists("C:\\t\\a.txt"));
    EXPECT_TRUE(Exists("C:\\t\\desktop.ini"));
    EXPECT_TRUE(Exists("C:\\t\\sub\\b.txt"));
    EXPECT_TRUE(RemoveDirectoryFiles("C:"));
    EXPECT_FALSE(Exists("C:\\root.txt"));
    EXPECT_TRUE(Exists("C:\\t\\sub\\b.txt"));
    EXPECT_EQ(Records(), "");

    // A file that can neither go nor be emptied: recorded, and the walk goes on.
    Make("C:\\t\\held.doc");
    Make("C:\\t\\z.txt");
    HANDLE holder = CreateFileA("C:\\t\\held.doc", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveDirectoryFiles("C:\\t"));
    CloseHandle(holder);
    EXPECT_EQ(Records(), Record("C", kFileProblem, "C:\\t\\held.doc"));
    EXPECT_EQ(ReadFileText("C:\\t\\held.doc"), "data");
    EXPECT_FALSE(Exists("C:\\t\\z.txt"));
}

TEST_F(RecursiveRemoveTest, DeleteFileWithRetryCountsAMissingFileAsGone) {
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\missing.txt"), 1u);
    Make("C:\\t\\x.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\x.txt"), 1u);
    EXPECT_FALSE(Exists("C:\\t\\x.txt"));
    // Gone between the search and the deletion: any error but access denied
    // ends it at once, with neither a wait nor the last resort.
    Make("C:\\t\\y.txt");
    Machine::FailNext("DeleteFileA", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\y.txt"), 1u);
    EXPECT_EQ(ReadFileText("C:\\t\\y.txt"), "data") << "not emptied";
    EXPECT_EQ(Machine::VirtualSleptMs(), 0);
}

}  // namespace
