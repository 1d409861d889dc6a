// Free space through the real lookup of the extended query: Win32 calls only,
// so that it runs against Wine's Kernel32 as well.
#include "ioutils/free_space.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "ioutils/secured_space.h"
#include "platform/win32.h"
#include "settings/product_settings.h"
#include "support/file_text.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ScratchFolder;

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
    const std::string log = nmtest::ReadFileText(dir / "NMActionLog.txt");
    ASSERT_GE(log.size(), record.size()) << log;
    EXPECT_EQ(log.substr(log.size() - record.size()), record);
}

}  // namespace
