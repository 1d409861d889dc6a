// Drives through the Win32 API only: runs on hostwin and against Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ScratchFolder;

// A letter with no drive behind it.
char MissingLetter() {
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 2; --i)
        if ((drives & (1u << i)) == 0)
            return static_cast<char>('A' + i);
    return 0;
}

TEST(Drives, EveryFormOfARootNamesTheSameDrive) {
    ScratchFolder dir("roots");
    const char letter = dir.path()[0];
    ASSERT_NE(GetLogicalDrives() & (1u << (toupper(letter) - 'A')), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const std::string forms[] = {std::string(1, letter) + ":\\", std::string(1, letter) + ":",
                                 std::string(1, static_cast<char>(tolower(letter))) + ":\\"};
    for (const auto& root : forms)
        EXPECT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_FIXED)) << root;
    EXPECT_EQ(GetDriveTypeA(nullptr), static_cast<UINT>(DRIVE_FIXED)) << "the current drive";
    EXPECT_EQ(GetDriveTypeA(""), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
}

TEST(Drives, AMissingDriveHasNoTypeSpaceOrVolume) {
    const char missing = MissingLetter();
    ASSERT_NE(missing, 0);
    const std::string root = std::string(1, missing) + ":\\";
    EXPECT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_NO_ROOT_DIR));

    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    EXPECT_FALSE(GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    DWORD a, b, c, d;
    EXPECT_FALSE(GetDiskFreeSpaceA(root.c_str(), &a, &b, &c, &d));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    char label[64], fs[64];
    EXPECT_FALSE(GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, fs, sizeof fs));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Drives, SpaceAndVolumeOfAnExistingDrive) {
    ScratchFolder dir("space");
    const std::string root = dir.path().substr(0, 3);
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree));
    EXPECT_LE(freeToCaller.QuadPart, total.QuadPart);
    EXPECT_GT(total.QuadPart, 0u);
    ASSERT_TRUE(GetDiskFreeSpaceExA(dir.path().c_str(), nullptr, &total, nullptr)) << "any folder of the drive";
    DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &freeClusters, &clusters));
    EXPECT_GT(spc * bps, 0u);
    EXPECT_LE(freeClusters, clusters);

    char label[64], fs[64];
    DWORD serial = 0, maxComponent = 0, flags = 0;
    ASSERT_TRUE(GetVolumeInformationA(root.c_str(), label, sizeof label, &serial, &maxComponent, &flags, fs, sizeof fs));
    EXPECT_GT(std::strlen(fs), 0u);
    EXPECT_EQ(maxComponent, 255u);
    EXPECT_FALSE(GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH)) << "no room for the file-system name";
    EXPECT_FALSE(GetVolumeInformationA((dir.path() + "\\").c_str(), label, sizeof label, nullptr, nullptr, nullptr,
                                       fs, sizeof fs));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_ROOT));

    // A handle's volume serial number is its drive's, for a folder and a file.
    const std::string file = dir.path() + "\\f.txt";
    HANDLE created = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);
    for (const std::string& path : {dir.path(), file}) {
        HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
        BY_HANDLE_FILE_INFORMATION info{};
        EXPECT_TRUE(GetFileInformationByHandle(handle, &info)) << path;
        CloseHandle(handle);
        EXPECT_EQ(info.dwVolumeSerialNumber, serial) << path;
    }
    EXPECT_TRUE(DeleteFileA(file.c_str()));
}

TEST(Drives, SystemDirectoryFollowsTheBufferRules) {
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(std::strlen(path), length);
    EXPECT_EQ(path[1], ':');
    EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), length + 1);
    char small[MAX_PATH];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetSystemDirectoryA(small, length), length + 1) << "room for the text but not its terminator";
    EXPECT_EQ(GetSystemDirectoryA(small, length + 1), length);
    EXPECT_STREQ(small, path);
}

}  // namespace
