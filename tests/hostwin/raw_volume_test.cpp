// The volume device "\\.\X:" of a drive backed by a disk image: sector
// transfers at 64-bit offsets, the volume's end, access and sharing; and
// the devices that do not exist on the NT family.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/raw_volume_drive.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kVolumeBytes = 2880 * 512;

class RawVolumeTest : public testing::Test {
protected:
    void SetUp() override {
        const char drive = nmtest::RawVolumeDrive();
        ASSERT_NE(drive, 0) << "no image-backed drive (NM_RAW_VOLUME_DRIVE)";
        device_ = std::string("\\\\.\\") + drive + ":";
    }
    void TearDown() override {
        for (HANDLE h : handles_)
            CloseHandle(h);
    }

    HANDLE Open(DWORD access, DWORD share) {
        HANDLE h = CreateFileA(device_.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            handles_.push_back(h);
        return h;
    }
    void Close(HANDLE h) {
        CloseHandle(h);
        std::erase(handles_, h);
    }
    static DWORD MoveTo(HANDLE h, ULONGLONG offset) {
        LONG high = static_cast<LONG>(offset >> 32);
        return SetFilePointer(h, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
    }

    std::string device_;
    std::vector<HANDLE> handles_;
};

TEST_F(RawVolumeTest, SectorsWrittenReadBackAtTheirOffsets) {
    HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, kShareAll);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    std::vector<BYTE> pattern(1024);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<BYTE>(i * 13 + 1);
    ASSERT_EQ(MoveTo(h, 2000 * 512), 2000u * 512);
    DWORD moved = 0;
    ASSERT_TRUE(WriteFile(h, pattern.data(), 1024, &moved, nullptr)) << GetLastError();
    EXPECT_EQ(moved, 1024u);

    std::vector<BYTE> back(512);
    ASSERT_EQ(MoveTo(h, 2001 * 512), 2001u * 512);
    ASSERT_TRUE(ReadFile(h, back.data(), 512, &moved, nullptr)) << GetLastError();
    EXPECT_EQ(moved, 512u);
    EXPECT_EQ(back, std::vector<BYTE>(pattern.begin() + 512, pattern.end()));
}

TEST_F(RawVolumeTest, SixtyFourBitOffsetsAndTheVolumesEnd) {
    HANDLE h = Open(GENERIC_READ, kShareAll);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 512, &high, FILE_BEGIN), 512u);
    EXPECT_EQ(high, 1);

    std::vector<BYTE> buffer(1024, 0xAB);
    DWORD moved = 99;
    EXPECT_TRUE(ReadFile(h, buffer.data(), 512, &moved, nullptr));  // far past the end: nothing
    EXPECT_EQ(moved, 0u);

    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), kVolumeBytes);
    ASSERT_EQ(MoveTo(h, kVolumeBytes - 512), kVolumeBytes - 512);
    EXPECT_TRUE(ReadFile(h, buffer.data(), 1024, &moved, nullptr));  // across the end: the part inside
    EXPECT_EQ(moved, 512u);
}

TEST_F(RawVolumeTest, AccessAndSharingFollowTheOpenModes) {
    HANDLE reader = Open(GENERIC_READ, kShareAll);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    BYTE sector[512] = {};
    DWORD moved = 0;
    EXPECT_FALSE(WriteFile(reader, sector, 512, &moved, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    HANDLE writer = Open(GENERIC_READ | GENERIC_WRITE, kShareAll);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
    // An open that will not share writing, while a writer is open.
    EXPECT_EQ(Open(GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    Close(writer);

    HANDLE exclusiveReader = Open(GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(exclusiveReader, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(Open(GENERIC_WRITE, kShareAll), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Asking for no access takes no part in sharing.
    EXPECT_NE(Open(0, 0), INVALID_HANDLE_VALUE);
}

TEST(RawDeviceTest, MissingVolumesAndVwin32AreNotFoundOnTheNtFamily) {
    struct Case {
        const char* name;
        DWORD disposition;
        DWORD error;
    };
    // Windows 9x opens vwin32 with creation disposition 0, which NT refuses first.
    for (const Case& c : {Case{"\\\\.\\vwin32", 0, ERROR_INVALID_PARAMETER},
                          Case{"\\\\.\\vwin32", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                          Case{"\\\\.\\Y:", OPEN_EXISTING, ERROR_FILE_NOT_FOUND}}) {
        SCOPED_TRACE(c.name);
        SetLastError(0);
        EXPECT_EQ(CreateFileA(c.name, 0, 0, nullptr, c.disposition, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
