// Recursive removal on a simulated drive: what goes, what stays, the retries
// on a held file (on virtual time) and the action-log records.
#include "ioutils/recursive_remove.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "hostwin/machine.h"
#include "support/exact_names.h"
#include "support/file_helpers.h"
#include "support/nt_calls.h"
#include "support/scratch_folder.h"

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

    static void Make(const std::string& path, DWORD attributes = 0, const std::string& text = "data") {
        ASSERT_TRUE(nmtest::MakeFile(path, attributes, text)) << path;
    }
};

// However the root is written: the length rule first, then the folder as
// GetFullPathNameA resolves it.  Nothing goes.
TEST_F(RecursiveRemoveTest, ADriveRootIsRefusedWithOneRecord) {
    Make("C:\\keep.txt");
    Make("C:\\a\\inner.txt");
    // Three characters that name a folder below the current one (C:\logs)
    // are still too short to be anything but a root.
    Make("C:\\logs\\a\\kept.txt");
    Make("C:\\logs\\ab\\kept.txt");
    for (const char* root : {"C:\\", "C:", "C:\\.", "C:\\..", "C:\\a\\..", "C:\\\\", "C:/.", "\\\\srv\\share\\",
                             "C:\\t\\..\\a\\..\\.", "C:a", "ab\\", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(root != nullptr ? root : "(null)");
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM(root));
        EXPECT_EQ(Records(), before + Record(root != nullptr ? root : "",
                                            "Cleaning the root directory of a drive is not allowed!", ""));
    }
    EXPECT_FALSE(RemoveDirectoryFiles(nullptr)) << "no name is no folder, not the current drive's root";
    EXPECT_TRUE(Exists("C:\\keep.txt"));
    EXPECT_TRUE(Exists("C:\\a\\inner.txt"));
    EXPECT_TRUE(Exists("C:\\logs\\a\\kept.txt"));
    EXPECT_TRUE(Exists("C:\\logs\\ab\\kept.txt"));
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


// A folder that is another drive's root (under Wine a drive's folder inside
// another's, on Windows a volume mounted in a folder) is that drive, not a
// folder of this one: named, or met in the walk, it is not emptied.
TEST_F(RecursiveRemoveTest, AFolderThatIsAnotherDrivesRootIsNotEmptied) {
    for (const char* named : {"C:\\t\\vol", "C:\\t"}) {
        SCOPED_TRACE(named);
        Make("C:\\t\\plain.txt");
        ASSERT_TRUE(CreateDirectoryA("C:\\t\\vol", nullptr));
        Machine::DriveSetup d;
        d.letter = 'D';
        d.hostFolder = Machine::HostPath("C:\\t\\vol");
        Machine::AddDrive(d);
        Make("D:\\a.txt");
        Make("D:\\sub\\b.txt");

        EXPECT_FALSE(IO_RecursiveRM(named));
        EXPECT_EQ(ReadFileText("D:\\a.txt"), "data");
        EXPECT_EQ(ReadFileText("D:\\sub\\b.txt"), "data");
        EXPECT_EQ(Exists("C:\\t\\plain.txt"), std::string(named) != "C:\\t") << "the rest of the tree goes";
        EXPECT_EQ(Records().find(Record("C", kFolderProblem, "C:\\t\\vol")), 0u) << Records();
        Machine::RemoveDrive('D');
        ASSERT_TRUE(IO_RecursiveRM("C:\\t\\vol"));
        ASSERT_TRUE(RemoveDirectoryA("C:\\t\\vol"));
        ASSERT_TRUE(DeleteFileA(kLog));
    }
    // Its path with a separator at the end still names the folder, not a root.
    ASSERT_TRUE(CreateDirectoryA("C:\\t\\vol", nullptr));
    Machine::DriveSetup d;
    d.letter = 'D';
    d.hostFolder = Machine::HostPath("C:\\t\\vol");
    Machine::AddDrive(d);
    Make("D:\\a.txt");
    for (const char* named : {"C:\\t\\vol\\", "\\\\?\\C:\\t\\vol\\", "C:\\t\\vol/"}) {
        SCOPED_TRACE(named);
        EXPECT_FALSE(RemoveDirectoryFiles(named));
        EXPECT_FALSE(IO_RecursiveRM(named));
        EXPECT_EQ(ReadFileText("D:\\a.txt"), "data");
    }
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

    // At a root given with its separator, the record names the file once.
    Make("C:\\held.doc");
    holder = CreateFileA("C:\\held.doc", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string before = Records();
    EXPECT_FALSE(RemoveDirectoryFiles("C:\\"));
    CloseHandle(holder);
    EXPECT_EQ(Records(), before + Record("C", kFileProblem, "C:\\held.doc"));
}

TEST_F(RecursiveRemoveTest, DeleteFileWithRetryCountsAMissingFileAsGone) {
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\missing.txt"), 1u);
    Make("C:\\t\\x.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\x.txt"), 1u);
    EXPECT_FALSE(Exists("C:\\t\\x.txt"));
    // Any error but access denied ends it at once, with neither a wait nor
    // the last resort; the file counts as gone only if it really is.  (The
    // narrow deletion is Windows 9x's.)
    Make("C:\\t\\y.txt");
    Machine::SetWindows9x();
    Machine::FailNext("DeleteFileA", ERROR_INVALID_NAME);
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\y.txt"), 0u);
    EXPECT_EQ(ReadFileText("C:\\t\\y.txt"), "data") << "not emptied";
    EXPECT_EQ(Machine::VirtualSleptMs(), 0);
    // A pattern names no one file: what it matches stays.
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\?.txt"), 0u);
    EXPECT_EQ(ReadFileText("C:\\t\\y.txt"), "data");
    EXPECT_EQ(DeleteFileWithRetry("C:\\t\\*.none"), 1u) << "matching nothing, nothing is there";
}

// Only "X:\name..." and "\\server\share\name...", also as "\\?\X:\..." and
// "\\?\UNC\...", are folders below a root: every other device path could
// name a volume's root in words the name count cannot see.
TEST_F(RecursiveRemoveTest, DevicePathsAreRefusedLikeRoots) {
    Make("C:\\keep.txt");
    const char* refused[] = {
        "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1", "\\\\.\\GLOBALROOT\\??\\C:", "\\\\.\\GLOBALROOT\\??\\C:\\",
        "\\\\?\\GLOBALROOT\\DosDevices\\C:",        "\\\\?\\GLOBALROOT\\??\\C:\\t", "\\\\.\\C:\\t",
        "\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\t", "\\\\.\\PhysicalDrive0\\t",
        "\\\\?\\UNC\\srv\\share",                   "\\\\?\\C:\\",                  "\\\\?\\C:\\t\\..",
        "\\\\?\\C:\\.\\t\\..",                      "\\\\?\\UNC\\srv\\share\\..\\x", "\\\\?\\C:\\\\",
    };
    for (const char* path : refused) {
        SCOPED_TRACE(path);
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM(path));
        EXPECT_EQ(Records(), before + Record(path, "Cleaning the root directory of a drive is not allowed!", ""));
    }
    for (const char* path : {"\\\\?\\C:\\t", "\\\\?\\UNC\\srv\\share\\t", "\\\\srv\\share\\t", "C:/t"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(IO_RecursiveRM(path));
    }
    // A device prefix with little or nothing after it names nothing to walk,
    // for every routine (the shell's process must outlive any text).
    for (const char* path : {"\\\\?", "\\\\.", "\\\\?\\C:", "\\\\.\\C:", "\\\\?\\x", "\\\\.\\PIPE", "//./C", "//?/C:"}) {
        SCOPED_TRACE(path);
        EXPECT_NO_THROW(RemoveDirectoryFiles(path));
        EXPECT_NO_THROW(IO_RecursiveRM(path));
        EXPECT_NO_THROW(DeleteFileWithRetry(path));
    }
    EXPECT_TRUE(Exists("C:\\keep.txt"));
    EXPECT_TRUE(Exists("C:\\t"));
}

// A file that cannot be deleted is emptied only when this is its one name:
// with a second name outside the folder, emptying it would empty that too.
TEST_F(RecursiveRemoveTest, AHeldFileWithASecondNameIsNotEmptied) {
    struct Case {
        const char* name;
        bool secondName;
        bool held;
        bool removed;
    } cases[] = {
        {"one name, held", false, true, true},
        {"two names, held", true, true, false},
        {"two names, free: only this name goes", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string outside = "C:\\outside.doc", inside = "C:\\t\\link.doc";
        Make(c.secondName ? outside : inside, 0, std::string(33, 'x'));
        if (c.secondName) {
            ASSERT_EQ(::link(Machine::HostPath(outside).c_str(), (Machine::HostPath("C:\\t") + "/link.doc").c_str()), 0);
        }
        HANDLE holder = c.held ? CreateFileA(inside.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
        const std::string before = Records();
        EXPECT_EQ(IO_RecursiveRM("C:\\t"), c.removed);
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        if (c.secondName) {
            EXPECT_EQ(ReadFileText(outside), std::string(33, 'x')) << "the other name's file is untouched";
        }
        EXPECT_EQ(Records(), before + (c.removed ? "" : Record("C", kFileProblem, inside)));
        DeleteFileA(inside.c_str());
        DeleteFileA(outside.c_str());
    }
}

// Another process swaps a folder of the walk for a link to a folder outside
// it: between the listing and the entering (the link is then what the walk
// opens, and it goes as a link), or while its contents go (the folder is
// held, so the swap fails).  The folder a link leads to keeps every file
// either way.
TEST_F(RecursiveRemoveTest, AFolderSwappedForALinkDuringTheWalkIsNotFollowed) {
    struct Case {
        const char* name;
        const char* api;  // the walk's call at whose start the swap is tried
        bool swaps;
    } cases[] = {
        {"swapped after its folder was listed", "NtCreateFile", true},
        {"swapped while its own contents go", "NtQueryDirectoryFile", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make("C:\\victim\\a.txt");
        Make("C:\\victim\\b.txt");
        Make("C:\\t\\sub\\a.txt");
        Make("C:\\t\\sub\\b.txt");
        bool tried = false, swapped = false;
        Machine::OnFileCall([&](const char* api, const std::string& path) {
            if (tried || path != "C:\\t\\sub" || std::string(api) != c.api)
                return;
            tried = true;
            if (MoveFileA("C:\\t\\sub", "C:\\old"))
                swapped = ::symlink(Machine::HostPath("C:\\victim").c_str(), Machine::HostPath("C:\\t\\sub").c_str()) == 0;
        });
        IO_RecursiveRM("C:\\t");
        Machine::OnFileCall(nullptr);
        EXPECT_TRUE(tried);
        EXPECT_EQ(swapped, c.swaps);
        EXPECT_EQ(ReadFileText("C:\\victim\\a.txt"), "data");
        EXPECT_EQ(ReadFileText("C:\\victim\\b.txt"), "data");
        EXPECT_FALSE(Exists("C:\\t\\sub")) << "the link, or the folder, is gone";
        EXPECT_TRUE(IO_RecursiveRM("C:\\old"));
        RemoveDirectoryA("C:\\old");
    }
}

// The named folder stays held, without delete sharing, from its check to
// the walk's end: at every call of the walk but those that first open it,
// another process tries to rename it and put a link to a folder outside in
// its place, and never can.
TEST_F(RecursiveRemoveTest, TheNamedFolderCannotBeSwappedWhileItsContentsGo) {
    Make("C:\\victim\\a.txt");
    Make("C:\\t\\a.txt");
    Make("C:\\t\\sub\\b.txt");
    Make("C:\\t\\sub\\deeper\\c.txt");
    int calls = 0, swaps = 0;
    Machine::OnFileCall([&](const char* api, const std::string& path) {
        if (path != "C:\\t" && path.rfind("C:\\t\\", 0) != 0)
            return;
        if (calls == 0 && path == "C:\\t" && std::string(api) == "NtCreateFile")
            return;  // its first open (tried again where the system refuses a flag): nothing holds it yet
        ++calls;
        if (MoveFileA("C:\\t", "C:\\t-old")) {
            ++swaps;
            ::symlink(Machine::HostPath("C:\\victim").c_str(), Machine::HostPath("C:\\t").c_str());
        }
    });
    const bool removed = IO_RecursiveRM("C:\\t");
    Machine::OnFileCall(nullptr);
    EXPECT_GT(calls, 5);
    EXPECT_EQ(swaps, 0);
    EXPECT_TRUE(removed);
    EXPECT_EQ(ReadFileText("C:\\victim\\a.txt"), "data");
    EXPECT_FALSE(Exists("C:\\t\\sub"));
}

// The last resort opens the file it empties by its exact name as itself: a
// link put in the held file's place after both waits is seen as a link and
// left alone, on a system with and without OBJ_DONT_REPARSE and POSIX deletes.
TEST_F(RecursiveRemoveTest, TheLastResortNeverEmptiesWhatALinkSwappedInLeadsTo) {
    struct Case {
        const char* name;
        DWORD major, minor, build;
    } cases[] = {
        {"Windows XP", 5, 1, 2600},
        {"Windows 10 1809", 10, 0, 17763},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::SetWindowsNT(c.major, c.minor, c.build);
        Make("C:\\keep\\precious.doc", 0, "precious");
        Make("C:\\t\\held.doc");
        HANDLE holder = CreateFileA("C:\\t\\held.doc", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const LONGLONG slept = Machine::VirtualSleptMs();
        // After both waits the file is opened twice: for the last try to
        // delete it, then by the last resort, whose open this swap precedes.
        int opensAfterWaits = 0;
        bool swapped = false;
        Machine::OnFileCall([&](const char* api, const std::string& path) {
            if (swapped || std::string(api) != "NtCreateFile" || path != "C:\\t\\held.doc" ||
                Machine::VirtualSleptMs() - slept < 2000 || ++opensAfterWaits < 2)
                return;
            CloseHandle(holder);
            swapped = MoveFileA("C:\\t\\held.doc", "C:\\moved.doc") &&
                      ::symlink(Machine::HostPath("C:\\keep\\precious.doc").c_str(),
                                Machine::HostPath("C:\\t\\held.doc").c_str()) == 0;
        });
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM("C:\\t"));
        Machine::OnFileCall(nullptr);
        EXPECT_TRUE(swapped);
        EXPECT_EQ(ReadFileText("C:\\keep\\precious.doc"), "precious");
        EXPECT_EQ(Records(), before + Record("C", kFileProblem, "C:\\t\\held.doc"));
        ::unlink(Machine::HostPath("C:\\t\\held.doc").c_str());
        DeleteFileA("C:\\moved.doc");
    }
}

// Only name surrogates (links, junctions, mount points) are links; a
// filter's reparse point (a cloud placeholder, a deduplicated or compressed
// file) is the user's data and goes like any other.  A tag that is unknown
// or not reported stays a link: never entered, never emptied.
TEST_F(RecursiveRemoveTest, OnlyNameSurrogateReparsePointsAreLinks) {
    struct Case {
        DWORD tag;
        bool link;
    } cases[] = {
        {0x9000001A, false},  // cloud placeholder
        {0x9000601A, false},  // cloud placeholder, one of its sub-kinds
        {0x80000013, false},  // deduplicated
        {0x80000017, false},  // compressed by the overlay filter
        {IO_REPARSE_TAG_SYMLINK, true},
        {IO_REPARSE_TAG_MOUNT_POINT, true},
        {0x00000000, true},   // not reported
        {0x8000FFFF, true},   // unknown
        {0x0000007F, true},   // unknown, not even a Microsoft tag
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "tag 0x" << std::hex << c.tag);
        Make("C:\\t\\tagged\\inner.txt");
        Make("C:\\t\\tagged.doc");
        ASSERT_TRUE(Machine::SetReparseTag("C:\\t\\tagged", c.tag));
        ASSERT_TRUE(Machine::SetReparseTag("C:\\t\\tagged.doc", c.tag));
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA("C:\\t\\tagged", &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        FindClose(search);
        EXPECT_EQ(found.dwReserved0, c.tag);
        EXPECT_EQ(found.dwFileAttributes, DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT});

        const std::string before = Records();
        EXPECT_EQ(IO_RecursiveRM("C:\\t"), !c.link);
        EXPECT_EQ(Exists("C:\\t\\tagged\\inner.txt"), c.link) << "entered only when it is no link";
        EXPECT_FALSE(Exists("C:\\t\\tagged.doc"));
        EXPECT_EQ(Records(), before + (c.link ? Record("C", kFolderProblem, "C:\\t\\tagged") : ""));
        nmtest::RemoveTree("C:\\t\\tagged");
    }
}

// A name outside the code page shows as "?" in the search.  The NT family's
// walk reaches every entry by its exact name, with or without short names;
// Windows 9x's reaches it through its short name, or records it where the
// volume keeps none.
TEST_F(RecursiveRemoveTest, NamesOutsideTheCodePageGo) {
    struct Case {
        const char* name;
        bool nt;
        bool shortNames;
        bool removed;
    } cases[] = {
        {"NT, volume with short names", true, true, true},
        {"NT, volume without short names", true, false, true},
        {"9x, volume with short names", false, true, true},
        {"9x, volume without short names", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nt)
            Machine::SetWindowsNT();
        else
            Machine::SetWindows9x();
        Machine::DriveSetup d;
        d.letter = 'D';
        d.shortNames = c.shortNames;
        const std::string host = Machine::AddDrive(d);
        ASSERT_TRUE(CreateDirectoryA("D:\\t2", nullptr));
        for (const char* file : {"/t2/数据.txt", "/t2/数据夹/ß.txt", "/t2/plain.txt"}) {
            std::filesystem::create_directories(std::filesystem::path(host + file).parent_path());
            std::ofstream(host + file) << "x";
        }
        EXPECT_EQ(IO_RecursiveRM("D:\\t2"), c.removed);
        const auto left = [&](const char* name) { return std::filesystem::exists(host + "/t2/" + name); };
        EXPECT_EQ(left("数据.txt"), !c.removed);
        EXPECT_EQ(left("数据夹"), !c.removed);
        EXPECT_EQ(left("数据夹/ß.txt"), !c.removed) << "inside a folder that can be reached, it goes";
        EXPECT_FALSE(left("plain.txt"));
        EXPECT_EQ(Records(), c.removed ? "" : Record("D", kFileProblem, "D:\\t2\\??.txt") +
                                                  Record("D", kFolderProblem, "D:\\t2\\???"));
        Machine::RemoveDrive('D');
        DeleteFileA(kLog);
    }
}

// Names that the code page's best-fit table rewrites ("..／outside" is shown
// as "../outside", "..＼victim.txt" as "..\victim.txt", "ａ.txt" as "a.txt"),
// and names whose trailing dot or space a path would lose: each goes by its
// exact name, and nothing outside the folder is touched.
TEST_F(RecursiveRemoveTest, NamesTheCodePageRewritesGoByTheirExactNames) {
    Make("C:\\outside\\a.txt");
    Make("C:\\outside\\sub\\b.txt");
    Make("C:\\victim.txt");
    Make("C:\\clean\\a.txt");
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"..\uFF0Foutside", true));
    std::ofstream(Machine::HostPath("C:\\clean") + "/..\uFF0Foutside/in.txt") << "x";
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"..\uFF3Cvictim.txt", false, "x"));
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"\uFF41.txt", false, "x"));
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"abc.", true));
    std::ofstream(Machine::HostPath("C:\\clean") + "/abc./f") << "x";
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"sp ", true));
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\clean", u"\uFF44esktop.ini", false, "x"));  // no desktop.ini
    EXPECT_TRUE(IO_RecursiveRM("C:\\clean")) << Records();
    EXPECT_TRUE(std::filesystem::is_empty(Machine::HostPath("C:\\clean")));
    EXPECT_EQ(ReadFileText("C:\\outside\\a.txt"), "data");
    EXPECT_EQ(ReadFileText("C:\\outside\\sub\\b.txt"), "data");
    EXPECT_EQ(ReadFileText("C:\\victim.txt"), "data");
    EXPECT_EQ(Machine::OpenHandles(), 0u);
}

// A stream names the folder it belongs to, which may be the drive's root:
// any ":" below the drive or share is refused like a root.
TEST_F(RecursiveRemoveTest, StreamsAreRefusedLikeRoots) {
    Make("C:\\keep.txt");
    for (const char* stream : {"C:\\:$I30:$INDEX_ALLOCATION", "\\\\?\\C:\\:$I30:$INDEX_ALLOCATION",
                               "C:\\t:$I30:$INDEX_ALLOCATION", "C:\\t\\x:y", "\\\\srv\\share\\a:b"}) {
        SCOPED_TRACE(stream);
        std::string resolved;
        EXPECT_FALSE(ResolveRemovalFolder(stream, &resolved));
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM(stream));
        EXPECT_EQ(Records(), before + Record(stream, "Cleaning the root directory of a drive is not allowed!", ""));
    }
    EXPECT_TRUE(Exists("C:\\keep.txt"));
}

// In code page 932 a double-byte character's second byte may be 0x5C, the
// byte of "\" (表 is 0x95 0x5C): the root rule and both walks split names
// only at separators of their own.
TEST_F(RecursiveRemoveTest, ADoubleByteCharacterEndingIn5CIsNoSeparator) {
    const std::string table = "\x95\x5C";  // 表 in code page 932
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        if (nt)
            Machine::SetWindowsNT();
        else
            Machine::SetWindows9x();
        Machine::SetCodePage(932);
        const std::string c = Machine::HostPath("C:\\");
        for (const char* file : {"/Data/表/x.txt", "/Data/other.txt", "/表/sub/y.txt", "/表/z.txt"}) {
            std::filesystem::create_directories(std::filesystem::path(c + file).parent_path());
            std::ofstream(c + file) << "x";
        }
        for (const std::string& folder : {"C:\\Data\\" + table, "C:\\" + table + "\\sub"}) {
            std::string resolved;
            EXPECT_TRUE(ResolveRemovalFolder(folder.c_str(), &resolved)) << folder;
            EXPECT_EQ(resolved, folder);
            EXPECT_TRUE(IO_RecursiveRM(folder.c_str())) << folder;
        }
        EXPECT_FALSE(std::filesystem::exists(c + "/Data/表/x.txt"));
        EXPECT_FALSE(std::filesystem::exists(c + "/表/sub/y.txt"));
        EXPECT_TRUE(std::filesystem::exists(c + "/Data/other.txt"));
        EXPECT_TRUE(std::filesystem::exists(c + "/表/z.txt"));
        EXPECT_EQ(Records(), "");
        std::filesystem::remove_all(c + "/Data");
        std::filesystem::remove_all(c + "/表");
    }
}

// A chain of folders far deeper than any path of 260 characters goes whole;
// the walk's stack is its own, so the depth costs no thread stack.
TEST_F(RecursiveRemoveTest, ATreeThreeHundredLevelsDeepGoesWhole) {
    std::filesystem::path path = Machine::HostPath("C:\\t");
    for (int level = 0; level < 300; ++level) {
        path /= "d";
        ASSERT_TRUE(std::filesystem::create_directory(path));
        if (level % 100 == 0)
            std::ofstream(path / "f.txt") << "x";
    }
    EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
    EXPECT_EQ(Records(), "");
    EXPECT_TRUE(std::filesystem::is_empty(Machine::HostPath("C:\\t")));
    EXPECT_EQ(Machine::OpenHandles(), 0u);
}

// Each level of a chain costs the walk the same calls, however deep it lies:
// one that listed or opened its folders above again, or checked a name by
// the folders it passes through, would make each 20 levels more cost more
// than the 20 before.
TEST_F(RecursiveRemoveTest, EachLevelOfAChainCostsTheSameCalls) {
    const auto callsToRemove = [&](int levels) {
        std::string path = "C:\\t";
        for (int level = 0; level < levels; ++level) {
            path += "\\d";
            EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
            Make(path + "\\f.txt");
        }
        std::map<std::string, int> calls;
        Machine::OnFileCall([&](const char* api, const std::string&) { ++calls[api]; });
        EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
        Machine::OnFileCall(nullptr);
        EXPECT_TRUE(std::filesystem::is_empty(Machine::HostPath("C:\\t")));
        return calls;
    };
    const auto twenty = callsToRemove(20), forty = callsToRemove(40), sixty = callsToRemove(60);
    ASSERT_FALSE(twenty.empty());
    const auto calls = [](const std::map<std::string, int>& counts, const std::string& api) {
        return counts.count(api) ? counts.at(api) : 0;
    };
    for (const auto& [api, count] : sixty)
        EXPECT_EQ(count - calls(forty, api), calls(forty, api) - calls(twenty, api)) << api;
    EXPECT_EQ(Records(), "");
}

// A read-only link is cleared, as a link (its target keeps its own
// attributes), and then removed like any read-only file or folder.
TEST_F(RecursiveRemoveTest, AReadOnlyLinkGoesAndItsTargetKeepsItsAttributes) {
    Make("C:\\keep\\kept.txt", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributesA("C:\\keep", FILE_ATTRIBUTE_READONLY));
    const std::string t = Machine::HostPath("C:\\t");
    ASSERT_EQ(::symlink(Machine::HostPath("C:\\keep\\kept.txt").c_str(), (t + "/file-link.txt").c_str()), 0);
    ASSERT_EQ(::symlink(Machine::HostPath("C:\\keep").c_str(), (t + "/folder-link").c_str()), 0);
    for (const char* link : {"C:\\t\\file-link.txt", "C:\\t\\folder-link"}) {
        HANDLE h = CreateFileA(link, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << link;
        FILE_BASIC_INFO info{};
        info.FileAttributes = FILE_ATTRIBUTE_READONLY;
        ASSERT_TRUE(SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info));
        CloseHandle(h);
        ASSERT_NE(GetFileAttributesA(link) & FILE_ATTRIBUTE_READONLY, 0u) << link;
    }
    EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
    EXPECT_EQ(Records(), "");
    EXPECT_FALSE(Exists("C:\\t\\file-link.txt"));
    EXPECT_FALSE(Exists("C:\\t\\folder-link"));
    EXPECT_EQ(ReadFileText("C:\\keep\\kept.txt"), "data");
    EXPECT_NE(GetFileAttributesA("C:\\keep\\kept.txt") & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(GetFileAttributesA("C:\\keep") & FILE_ATTRIBUTE_READONLY, 0u);
}

// Attributes belong to the file, not to a name: a read-only file whose
// second name is inside loses that name, and the file keeps its bytes and
// every attribute under the name outside, with and without POSIX deletes.
// One that cannot go (held) stays whole, attributes and all.
TEST_F(RecursiveRemoveTest, AReadOnlyFileWithANameOutsideKeepsItsAttributes) {
    struct Case {
        const char* name;
        DWORD major, minor, build;
        bool held;
    } cases[] = {
        {"Windows XP", 5, 1, 2600, false},
        {"Windows XP, held by another program", 5, 1, 2600, true},
        {"Windows 10 1809", 10, 0, 17763, false},
    };
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::SetWindowsNT(c.major, c.minor, c.build);
        Make("C:\\out\\ro.txt", kept, "outside");
        Make("C:\\t\\alone.txt", kept);
        ASSERT_EQ(::link(Machine::HostPath("C:\\out\\ro.txt").c_str(), (Machine::HostPath("C:\\t") + "/second.txt").c_str()), 0);
        const DWORD attributes = GetFileAttributesA("C:\\out\\ro.txt");
        ASSERT_EQ(attributes & kept, kept);
        HANDLE holder = c.held ? CreateFileA("C:\\t\\second.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             0, nullptr)
                               : INVALID_HANDLE_VALUE;
        const std::string before = Records();
        EXPECT_EQ(IO_RecursiveRM("C:\\t"), !c.held);
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        EXPECT_EQ(GetFileAttributesA("C:\\out\\ro.txt"), attributes);
        EXPECT_EQ(ReadFileText("C:\\out\\ro.txt"), "outside");
        EXPECT_FALSE(Exists("C:\\t\\alone.txt"));
        EXPECT_EQ(Exists("C:\\t\\second.txt"), c.held);
        EXPECT_EQ(Records(), before + (c.held ? Record("C", kFileProblem, "C:\\t\\second.txt") : ""));
        for (const char* path : {"C:\\t\\second.txt", "C:\\out\\ro.txt"}) {
            SetFileAttributesA(path, 0);
            DeleteFileA(path);
        }
    }
}

// A listed name is one name of its folder or it is never opened: Unix names
// may hold a backslash ("lnk\victim.txt", a folder "lnk\sub") beside a link
// "lnk" to a folder outside that stays, and opened through the folder they
// would be paths through that link.  They stay, each with its record.
TEST_F(RecursiveRemoveTest, ANameHoldingABackslashIsNeverOpened) {
    // Before Windows 10 1607 nothing refuses a link on the way of a path.
    for (const DWORD major : {5, 10}) {
        SCOPED_TRACE(major == 5 ? "Windows XP" : "Windows 10 1809");
        Machine::SetWindowsNT(major, major == 5 ? 1 : 0, major == 5 ? 2600 : 17763);
        Make("C:\\out\\victim.txt", 0, "victim");
        Make("C:\\out\\sub\\f.txt", 0, "deeper");
        const std::string t = Machine::HostPath("C:\\t");
        ASSERT_EQ(::symlink(Machine::HostPath("C:\\out").c_str(), (t + "/lnk").c_str()), 0);
        std::ofstream(t + "/lnk\\victim.txt") << "x";
        ASSERT_TRUE(std::filesystem::create_directory(t + "/lnk\\sub"));
        std::ofstream(t + "/plain.txt") << "x";
        // Another program holds the link, so that it stays, as Wine's do.
        HANDLE holder = CreateFileA("C:\\t\\lnk", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM("C:\\t"));
        CloseHandle(holder);
        EXPECT_EQ(ReadFileText("C:\\out\\victim.txt"), "victim");
        EXPECT_EQ(ReadFileText("C:\\out\\sub\\f.txt"), "deeper");
        EXPECT_TRUE(std::filesystem::exists(t + "/lnk\\victim.txt"));
        EXPECT_TRUE(std::filesystem::exists(t + "/lnk\\sub"));
        EXPECT_FALSE(std::filesystem::exists(t + "/plain.txt"));
        EXPECT_EQ(Records(), before + Record("C", kFolderProblem, "C:\\t\\lnk") +
                                 Record("C", kFolderProblem, "C:\\t\\lnk\\sub") +
                                 Record("C", kFileProblem, "C:\\t\\lnk\\victim.txt"));
        EXPECT_EQ(Machine::OpenHandles(), 0u);
        std::filesystem::remove_all(t);
        std::filesystem::create_directory(t);
    }
}

// Another program moves a file of the walk out of its folder at the walk's
// first question to the handle it opened: the handle then names a file
// outside, which stays untouched, and the entry is recorded.
TEST_F(RecursiveRemoveTest, AFileMovedOutWhileOpenIsNotDeletedThere) {
    Make("C:\\t\\a.txt", 0, "moved");
    Make("C:\\t\\b.txt");
    ASSERT_TRUE(CreateDirectoryA("C:\\out", nullptr));
    bool moved = false;
    Machine::OnFileCall([&](const char* api, const std::string& path) {
        if (!moved && std::string(api) == "NtQueryObject" && path == "C:\\t\\a.txt")
            moved = MoveFileA("C:\\t\\a.txt", "C:\\out\\a.txt") != FALSE;
    });
    EXPECT_FALSE(IO_RecursiveRM("C:\\t"));
    Machine::OnFileCall(nullptr);
    EXPECT_TRUE(moved);
    EXPECT_EQ(ReadFileText("C:\\out\\a.txt"), "moved");
    EXPECT_FALSE(Exists("C:\\t\\b.txt"));
    EXPECT_EQ(Records(), Record("C", kFileProblem, "C:\\t\\a.txt"));
}

// What comes into the named folder while the walk runs was never removed:
// a file made there, a folder moved in from outside, a file renamed there
// after its listing.  Each keeps its record and the answer is false, for
// both walks (a folder stays out of the files-only one).  desktop.ini made
// meanwhile stays, as one listed would.
TEST_F(RecursiveRemoveTest, WhatComesInDuringTheWalkIsNotCalledRemoved) {
    for (bool filesOnly : {false, true}) {
        SCOPED_TRACE(filesOnly ? "RemoveDirectoryFiles" : "IO_RecursiveRM");
        Make("C:\\t\\a.txt");
        Make("C:\\t\\b.txt");
        Make("C:\\t\\z.txt");
        Make("C:\\out\\in\\f.txt");
        bool acted = false;
        Machine::OnFileCall([&](const char* api, const std::string& path) {
            if (acted || std::string(api) != "NtCreateFile" || path != "C:\\t\\b.txt")
                return;
            acted = true;
            Make("C:\\t\\new.txt");
            Make("C:\\t\\desktop.ini");
            EXPECT_TRUE(MoveFileA("C:\\t\\z.txt", "C:\\t\\renamed.txt"));
            EXPECT_TRUE(MoveFileA("C:\\out\\in", "C:\\t\\in"));
        });
        const std::string before = Records();
        EXPECT_FALSE(filesOnly ? RemoveDirectoryFiles("C:\\t") : IO_RecursiveRM("C:\\t"));
        Machine::OnFileCall(nullptr);
        ASSERT_TRUE(acted);
        std::string expected = Record("C", kFileProblem, "C:\\t\\new.txt") +
                               Record("C", kFileProblem, "C:\\t\\renamed.txt");
        if (!filesOnly)
            expected = Record("C", kFolderProblem, "C:\\t\\in") + expected;
        EXPECT_EQ(Records(), before + expected);  // in the listing's order
        EXPECT_FALSE(Exists("C:\\t\\a.txt"));
        EXPECT_FALSE(Exists("C:\\t\\b.txt"));
        for (const char* stays : {"C:\\t\\new.txt", "C:\\t\\renamed.txt", "C:\\t\\desktop.ini", "C:\\t\\in\\f.txt"})
            EXPECT_TRUE(Exists(stays)) << stays;
        std::filesystem::remove_all(Machine::HostPath("C:\\t"));
        std::filesystem::create_directory(Machine::HostPath("C:\\t"));
    }
}

// "Gone" is what the folder shows once the deleting handle is closed.  An
// entry that another program holds with its delete pending goes when that
// program closes it: gone or going counts.  One whose open answers "not
// found" while its folder still lists it, or one the folder lists again
// after its delete, stays with its record.
TEST_F(RecursiveRemoveTest, AnEntryCountsAsGoneOnlyWhenItsFolderShowsIt) {
    nmtest::nt::NtCalls nt;
    {
        SCOPED_TRACE("a subfolder another program is deleting");
        Make("C:\\t\\a.txt");
        ASSERT_TRUE(CreateDirectoryA("C:\\t\\pending", nullptr));
        HANDLE folder, holder;
        ASSERT_EQ(nt.OpenFolder("C:\\t", &folder), 0);
        ASSERT_EQ(nt.Open(folder, u"pending", &holder, DELETE | nmtest::nt::kSynchronize, nmtest::nt::kShareAll,
                          nmtest::nt::kDirectoryFile | nmtest::nt::kSynchronousIo),
                  0);
        CloseHandle(folder);
        BOOLEAN remove = TRUE;
        ASSERT_EQ(nt.Set(holder, &remove, sizeof remove, 13), 0);
        EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
        EXPECT_EQ(Records(), "");
        CloseHandle(holder);
        EXPECT_FALSE(Exists("C:\\t\\pending"));
        EXPECT_FALSE(Exists("C:\\t\\a.txt"));
    }
    const struct {
        const char* name;
        const char* entry;  // another program acts at the start of the walk's open of this entry
        const char* away;   // ... moving it here, and back at the walk's next question to C:\t
        const char* stays;
        const std::string problem;
    } cases[] = {
        {"a folder moved away as the walk opens it, back as the walk asks", "C:\\t\\sub", "C:\\away", "C:\\t\\sub",
         kFolderProblem},
        {"a file moved away as the walk opens it, back as the walk asks", "C:\\t\\y.txt", "C:\\away.txt",
         "C:\\t\\y.txt", kFileProblem},
        {"a folder made again after its delete", "C:\\t\\z.txt", nullptr, "C:\\t\\sub", kFolderProblem},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make("C:\\t\\sub\\f.txt", 0, "kept");
        Make("C:\\t\\y.txt");
        Make("C:\\t\\z.txt");
        int step = 0;
        Machine::OnFileCall([&](const char* api, const std::string& path) {
            if (step == 0 && std::string(api) == "NtCreateFile" && path == c.entry) {
                ++step;
                if (c.away != nullptr)
                    MoveFileA(c.entry, c.away);
                else
                    Make("C:\\t\\sub\\f.txt", 0, "made again");  // sub's delete comes before z.txt
            } else if (step == 1 && c.away != nullptr && path == "C:\\t") {
                ++step;
                MoveFileA(c.away, c.entry);
            }
        });
        const std::string before = Records();
        EXPECT_FALSE(IO_RecursiveRM("C:\\t"));
        Machine::OnFileCall(nullptr);
        EXPECT_TRUE(Exists(c.stays));
        EXPECT_EQ(Records(), before + Record("C", c.problem, c.stays));
        nmtest::RemoveTree("C:\\t\\sub");
        DeleteFileA("C:\\t\\y.txt");
    }
}

// A folder whose listing takes more than one buffer (1,000 names of 32
// characters: about 130 KiB) is listed to its end.
TEST_F(RecursiveRemoveTest, AFolderOfAThousandFilesGoesWhole) {
    const std::string t = Machine::HostPath("C:\\t");
    for (int i = 0; i < 1000; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "/a-file-with-a-longer-name-%04d.txt", i);
        std::ofstream(t + name) << "x";
    }
    EXPECT_TRUE(IO_RecursiveRM("C:\\t"));
    EXPECT_TRUE(std::filesystem::is_empty(t));
    EXPECT_EQ(Records(), "");
}

// A verbatim path is taken as given: "clean." is not its twin "clean", and
// a ".." in it climbs nowhere (the root rule refuses it).
TEST_F(RecursiveRemoveTest, AVerbatimPathIsTakenAsGiven) {
    Make("C:\\t\\clean\\twin.txt");
    Make("C:\\t\\x\\keep.txt");
    ASSERT_TRUE(nmtest::MakeExactEntry("C:\\t", u"clean.", true));
    std::ofstream(Machine::HostPath("C:\\t") + "/clean./f.txt") << "x";
    EXPECT_TRUE(IO_RecursiveRM("\\\\?\\C:\\t\\clean."));
    EXPECT_TRUE(std::filesystem::is_empty(Machine::HostPath("C:\\t") + "/clean."));
    EXPECT_TRUE(Exists("C:\\t\\clean\\twin.txt"));
    // A name typed in another case than on disk names that one entry.
    Make("C:\\t\\Tt\\s\\f.txt");
    EXPECT_TRUE(IO_RecursiveRM("\\\\?\\C:\\T\\tT"));
    EXPECT_TRUE(RemoveDirectoryFiles("C:\\T\\TT"));
    Make("C:\\t\\Tt\\F.txt");
    EXPECT_EQ(DeleteFileWithRetry("c:\\T\\tt\\f.TXT"), 1);
    EXPECT_TRUE(std::filesystem::is_empty(Machine::HostPath("C:\\t") + "/Tt"));
    EXPECT_FALSE(IO_RecursiveRM("\\\\?\\C:\\t\\x\\..\\clean"));
    EXPECT_TRUE(Exists("C:\\t\\clean\\twin.txt"));
    EXPECT_EQ(Records(), Record("\\\\?\\C:\\t\\x\\..\\clean", "Cleaning the root directory of a drive is not allowed!", ""));
}

}  // namespace
