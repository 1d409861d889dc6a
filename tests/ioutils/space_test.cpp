// Free space by operating-system class, its failure reports, and the secured-
// space folder: measuring with pruning, naming, creating.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "hostwin/machine.h"
#include "ioutils/free_space.h"
#include "ioutils/secured_space.h"
#include "logs/action_log.h"
#include "platform/win32.h"

namespace {

using hostwin::Machine;

class SpaceTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::DriveSetup c;
        c.letter = 'C';
        c.freeBytes = 5ull << 30;  // 5 GiB: more than 32 bits can hold
        c.totalBytes = 40ull << 30;
        root_ = Machine::AddDrive(c);
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    }
    void TearDown() override { Machine::Reset(); }

    // The records this process's log has written, without the header.
    std::string LogRecords() const {
        std::ifstream in(root_ + "/NMActionLog.txt", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t start = text.find("\r\n\r\n\r\n");  // the header ends with two empty lines
        return start == std::string::npos ? text : text.substr(start + 6);
    }
    void AddSecuredFile(char drive, const std::string& name, ULONGLONG size) {
        const std::string folder = Machine::HostPath(std::string(1, drive) + ":\\") + "/Nullmark Secured Space";
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/" + name).close();
        std::filesystem::resize_file(folder + "/" + name, size);
    }
    bool SecuredFileExists(const std::string& name) {
        return std::filesystem::exists(root_ + "/Nullmark Secured Space/" + name);
    }

    std::string root_;
};

std::string Record(const char* action, const std::string& problem) {
    return std::string(66, '-') + "\r\nDrive: C:\\\r\nAction: " + action + "\r\nProblem: " + problem + "\r\n";
}

TEST_F(SpaceTest, TheOsClassChoosesTheQuery) {
    // The extended query gives all 5 GiB; the old one multiplies in 32 bits
    // and so loses the top: 5 GiB mod 4 GiB.
    struct Case {
        DWORD platform, build;
        ULONGLONG free;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 2600, 5ull << 30},        {VER_PLATFORM_WIN32_WINDOWS, 0x040A08AE, 5ull << 30},
        {VER_PLATFORM_WIN32_WINDOWS, 3000, 5ull << 30},   {VER_PLATFORM_WIN32_WINDOWS, 1001, 5ull << 30},
        {VER_PLATFORM_WIN32_WINDOWS, 1000, 1ull << 30},   {VER_PLATFORM_WIN32_WINDOWS, 0x000103B6, 1ull << 30},
        {VER_PLATFORM_WIN32s, 5000, 1ull << 30},
    };
    for (const auto& c : cases) {
        Machine::SetOsVersion(hostwin::OsVersion{c.platform, 4, 0, c.build, ""});
        ULONGLONG total = 0;
        EXPECT_EQ(IO_GetFreeSpaceSizeFromCall('C', &total), c.free) << c.platform << "/" << c.build;
        EXPECT_EQ(total, 40ull << 30) << "the total is always the full 64-bit size";
    }
    EXPECT_EQ(Machine::ModuleLoadCount("Kernel32.dll"), 0) << "the library is unloaded after each query";
    EXPECT_EQ(LogRecords(), "");
}

TEST_F(SpaceTest, AMissingExportIsLoggedAndAMissingLibraryShownInABox) {
    ASSERT_TRUE(Machine::RemoveExport("Kernel32.dll", "GetDiskFreeSpaceExA"));
    EXPECT_EQ(IO_GetFreeSpaceSizeFromCall('C'), kUnmeasured);
    EXPECT_EQ(LogRecords(), Record("Getting amount of free space on drive.", "Failed to load free space function."));
    EXPECT_EQ(Machine::ModuleLoadCount("Kernel32.dll"), 0);

    Machine::FailNext("LoadLibraryA", ERROR_MOD_NOT_FOUND);
    ULONGLONG total = 77;
    EXPECT_EQ(IO_GetFreeSpaceSizeFromCall('C', &total), kUnmeasured);
    EXPECT_EQ(total, 77u);
    const auto boxes = Machine::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "Failed to load DLL Kernel32.dll.");
    EXPECT_EQ(boxes[0].caption, "DLL Error");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(LogRecords(), Record("Getting amount of free space on drive.", "Failed to load free space function."))
        << "nothing more logged";
}

TEST_F(SpaceTest, TheOldQueryFailsSilently) {
    Machine::SetWindows9x(0, 950);
    ULONGLONG total = 77;
    EXPECT_EQ(IO_GetFreeSpaceSizeFromCall('Q', &total), kUnmeasured);
    EXPECT_EQ(total, 77u);
    EXPECT_EQ(LogRecords(), "");
}

TEST_F(SpaceTest, SecuredSpaceCountsSmallFilesAndDeletesLargeOnes) {
    EXPECT_EQ(GetSecuredSpaceSize('C'), 0u) << "no folder";
    AddSecuredFile('C', "a.T~P", 10'000'000);
    AddSecuredFile('C', "B.t~p", 20'000'000);
    AddSecuredFile('C', "c.T~P", 30'000'000);
    AddSecuredFile('C', "limit.T~P", kSecuredSpacePruneLimit);
    AddSecuredFile('C', "other.txt", 90'000'000);
    AddSecuredFile('C', std::string(240, 'x') + ".T~P", 30'000'000);  // longer than any 100-character path
    AddSecuredFile('C', "huge.T~P", (4ull << 30) + 5);                // counts by its low 32 bits
    std::filesystem::create_directory(root_ + "/Nullmark Secured Space/dir.T~P");
    EXPECT_EQ(GetSecuredSpaceSize('C'), 30'000'000u + kSecuredSpacePruneLimit + 5);
    EXPECT_FALSE(SecuredFileExists("c.T~P"));
    EXPECT_FALSE(SecuredFileExists(std::string(240, 'x') + ".T~P"));
    EXPECT_TRUE(SecuredFileExists("limit.T~P")) << "exactly at the limit is kept";
    EXPECT_TRUE(SecuredFileExists("huge.T~P"));
    EXPECT_TRUE(SecuredFileExists("other.txt"));
    EXPECT_EQ(Machine::OpenHandles(), 0u) << "the search is closed";
}

TEST_F(SpaceTest, ALargeFileThatCannotBeDeletedIsNotCounted) {
    AddSecuredFile('C', "a.T~P", 1000);
    AddSecuredFile('C', "big.T~P", 30'000'000);
    // Held by a program that shares no deletion: it cannot go now, and the
    // measure does not wait for it.
    HANDLE holder = CreateFileA("C:\\Nullmark Secured Space\\big.T~P", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetSecuredSpaceSize('C'), 1000u);
    CloseHandle(holder);
    EXPECT_TRUE(SecuredFileExists("big.T~P"));
}

TEST_F(SpaceTest, FileNamesAreTheByteSwappedFileTimeInHex) {
    const struct {
        ULONGLONG fileTime;
        const char* name;
    } cases[] = {
        {0x01C2A5B3D4E5F607ull, "7F6E5D4B3A5C201.T~P"},
        {0, "0.T~P"},
        {0xFF, "FF00000000000000.T~P"},
        {0x0100000000000000ull, "1.T~P"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecuredSpaceFileNameFor(c.fileTime), c.name) << std::hex << c.fileTime;

    Machine::SetLocalTime(SYSTEMTIME{2003, 3, 5, 7, 21, 5, 9, 250});
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    FILETIME ft;
    SystemTimeToFileTime(&utc, &ft);
    EXPECT_EQ(MakeSecuredSpaceFileName(),
              SecuredSpaceFileNameFor((ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime));
    EXPECT_EQ(MakeSecuredSpaceFileName(), MakeSecuredSpaceFileName()) << "same time, same name";
}

TEST_F(SpaceTest, EnsuringTheFolderCreatesOnlyWhatIsMissing) {
    EXPECT_TRUE(EnsureSecuredSpaceFolder('C'));
    EXPECT_TRUE(std::filesystem::is_directory(root_ + "/Nullmark Secured Space"));
    EXPECT_TRUE(EnsureSecuredSpaceFolder('c')) << "already there";

    Machine::DriveSetup d;
    d.letter = 'D';
    const std::string droot = Machine::AddDrive(d);
    std::ofstream(droot + "/NULLMARK SECURED SPACE").close();
    EXPECT_TRUE(EnsureSecuredSpaceFolder('D')) << "a file of that name will do";
    EXPECT_TRUE(std::filesystem::is_regular_file(droot + "/NULLMARK SECURED SPACE"));

    d.letter = 'E';
    Machine::AddDrive(d);
    Machine::SetReadOnly("E:\\", true);
    EXPECT_FALSE(EnsureSecuredSpaceFolder('E'));
    Machine::SetReadOnly("E:\\", false);
    EXPECT_FALSE(EnsureSecuredSpaceFolder('Q')) << "no drive";
}

}  // namespace
