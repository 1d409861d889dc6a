// Free space through the real lookup of the extended query: Win32 calls only,
// so that it runs against Wine's Kernel32 as well.  The drive-setup cases at
// the end take their expectations from the environment, which the Wine suite
// sets after mapping drives of its own; without it they are skipped.
#include "ioutils/free_space.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "ioutils/secured_space.h"
#include "platform/win32.h"
#include "settings/product_settings.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ScratchFolder;

std::string ReadFileText(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "";
    std::string text(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(h);
    return text;
}

TEST(FreeSpace, TheExtendedQueryGivesTheDrivesSize) {
    ScratchFolder dir("freespace");
    ULARGE_INTEGER freeToCaller{}, total{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(dir.path().substr(0, 3).c_str(), &freeToCaller, &total, nullptr));
    ULONGLONG measuredTotal = 0;
    const ULONGLONG measuredFree = IO_GetFreeSpaceSizeFromCall(dir.path()[0], &measuredTotal);
    EXPECT_EQ(measuredTotal, total.QuadPart);
    ASSERT_NE(measuredFree, kUnmeasured);
    // Other programs may write meanwhile: the two free counts need only agree roughly.
    const ULONGLONG difference =
        measuredFree > freeToCaller.QuadPart ? measuredFree - freeToCaller.QuadPart : freeToCaller.QuadPart - measuredFree;
    EXPECT_LT(difference, 64ull << 20);
}

TEST(FreeSpace, AMissingDriveIsLoggedInTheCurrentDirectory) {
    ScratchFolder dir("freespacelog");
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const DWORD drives = GetLogicalDrives();
    char missing = 0;
    for (int i = 25; i >= 2 && missing == 0; --i)
        if ((drives & (1u << i)) == 0)
            missing = static_cast<char>('A' + i);
    ASSERT_NE(missing, 0);
    ULONGLONG total = 77;
    EXPECT_EQ(IO_GetFreeSpaceSizeFromCall(missing, &total), kUnmeasured);
    EXPECT_EQ(total, 77u);
    const std::string record = std::string(66, '-') + "\r\nDrive: " + missing +
                               ":\\\r\nAction: Getting acount of free space on drive.\r\n"
                               "Problem: Call to GetDiskFreeSpaceEx failed: 3\r\n";
    const std::string log = ReadFileText(dir / "NMActionLog.txt");
    ASSERT_GE(log.size(), record.size()) << log;
    EXPECT_EQ(log.substr(log.size() - record.size()), record);
}

// NM_EXPECT_DRIVE_TYPES="D:5 E:2", NM_EXPECT_SECURED="G:30000000",
// NM_EXPECT_DRIVE_LIST="G" (the letters of the list built without "DSL").
const char* Expected(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

TEST(ConfiguredDrives, TypesAreTheMachines) {
    const char* expected = Expected("NM_EXPECT_DRIVE_TYPES");
    if (!expected)
        GTEST_SKIP() << "no drives set up for this run";
    std::istringstream in(expected);
    for (std::string item; in >> item;) {
        const std::string root = item.substr(0, 2) + "\\";
        EXPECT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(std::stoul(item.substr(2)))) << root;
    }
}

TEST(ConfiguredDrives, SecuredSpaceIsMeasuredAndPruned) {
    const char* expected = Expected("NM_EXPECT_SECURED");
    if (!expected)
        GTEST_SKIP() << "no drives set up for this run";
    const std::string item = expected;
    EXPECT_EQ(GetSecuredSpaceSize(item[0]), std::stoull(item.substr(2)));
    EXPECT_EQ(GetSecuredSpaceSize(item[0]), std::stoull(item.substr(2))) << "the same after pruning";
}

TEST(ConfiguredDrives, TheBuiltDriveListHasTheFixedDrivesWithSecuredSpace) {
    const char* expected = Expected("NM_EXPECT_DRIVE_LIST");
    if (!expected)
        GTEST_SKIP() << "no drives set up for this run";
    ProductSettings s;
    s.CheckDriveSpaceList(false);
    std::string letters;
    for (int i = 0; i < s.driveSpaceList.Count(); ++i)
        letters += DriveSpaceList::Letter(s.driveSpaceList.Entry(i));
    EXPECT_EQ(letters, expected);
}

}  // namespace
