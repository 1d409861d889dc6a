// Drives as the control panel sets them up: types and letters, read-only
// entries, and a machine shared through its folder (the configured space and
// volume data are what the product's own tests read back).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "hostwin/machine.h"
#include "hostwin/machine_state.h"
#include "platform/win32.h"

namespace {

using hostwin::Machine;

class DrivesHostTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }

    static std::string Drive(char letter, UINT type) {
        Machine::DriveSetup d;
        d.letter = letter;
        d.type = type;
        return Machine::AddDrive(d);
    }
};

TEST_F(DrivesHostTest, TypesLettersAndRemoval) {
    const struct {
        char letter;
        UINT type;
    } drives[] = {{'A', DRIVE_REMOVABLE}, {'c', DRIVE_FIXED}, {'E', DRIVE_CDROM}, {'N', DRIVE_REMOTE},
                  {'R', DRIVE_RAMDISK}};
    for (const auto& d : drives)
        Drive(d.letter, d.type);
    EXPECT_EQ(GetLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 4) | (1u << 13) | (1u << 17));
    for (const auto& d : drives) {
        const char root[] = {d.letter, ':', '\\', 0};
        EXPECT_EQ(GetDriveTypeA(root), d.type) << root;
    }
    EXPECT_EQ(GetDriveTypeA("C:\\WINDOWS\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "not a root";
    const std::string folder = Machine::HostPath("E:\\");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(Machine::RemoveDrive('e'));
    EXPECT_FALSE(std::filesystem::exists(folder)) << "a temporary drive folder goes with its drive";
    EXPECT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_FALSE(Machine::RemoveDrive('E'));
}

// A process that ends with drives still set up takes their temporary folders
// with it, and leaves alone the ones of the process it was forked from.
TEST_F(DrivesHostTest, AnEndingProcessTakesItsTemporaryFoldersAlong) {
    const std::string parents = Drive('C', DRIVE_FIXED);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        const std::string own = Drive('D', DRIVE_FIXED);
        const bool told = ::write(report[1], own.data(), own.size()) == static_cast<ssize_t>(own.size());
        ::close(report[1]);
        std::exit(told ? 0 : 1);  // as a program ends: the static objects go
    }
    ::close(report[1]);
    std::string childs;
    char buffer[256];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        childs.append(buffer, static_cast<size_t>(n));
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_FALSE(childs.empty()) << "the child made no drive";
    EXPECT_FALSE(std::filesystem::exists(childs)) << childs << " outlived the process that made it";
    EXPECT_TRUE(std::filesystem::is_directory(parents)) << "the parent's drive folder went with the child";
}

TEST_F(DrivesHostTest, ReadOnlyEntriesRefuseChanges) {
    Drive('C', DRIVE_FIXED);
    ASSERT_TRUE(CreateDirectoryA("C:\\locked", nullptr));
    HANDLE h = CreateFileA("C:\\locked\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    ASSERT_TRUE(Machine::SetReadOnly("C:\\locked\\f.txt", true));
    EXPECT_EQ(GetFileAttributesA("C:\\locked\\f.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(CreateFileA("C:\\locked\\f.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA("C:\\locked\\f.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesA("C:\\locked\\f.txt", FILE_ATTRIBUTE_NORMAL));

    ASSERT_TRUE(Machine::SetReadOnly("C:\\locked", true));
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS}) {
        EXPECT_EQ(CreateFileA("C:\\locked\\new.txt", GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
    }
    EXPECT_FALSE(CreateDirectoryA("C:\\locked\\sub", nullptr));
    EXPECT_FALSE(DeleteFileA("C:\\locked\\f.txt"));
    Machine::SetReadOnly("C:\\locked", false);
    EXPECT_TRUE(DeleteFileA("C:\\locked\\f.txt"));
    EXPECT_EQ(Machine::OpenFiles(), 0u);
}

TEST_F(DrivesHostTest, ASharedMachineKeepsItsDrivesAndCurrentDirectory) {
    const auto folder = std::filesystem::temp_directory_path() / ("hostwin-drives-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Machine::Attach(folder.string());
    Machine::DriveSetup d;
    d.letter = 'D';
    d.hostFolder = folder.string();
    d.label = "Odd; label=%";
    d.freeBytes = 123456789012ull;
    Machine::AddDrive(d);
    Machine::SetCurrentDirectory("D:\\");
    Machine::Attach("");
    Machine::Reset();  // this process forgets; the folder remembers
    ASSERT_EQ(GetLogicalDrives(), 0u);

    // What another process of the machine reads at its start.
    std::ifstream conf(folder / "machine.conf");
    for (std::string line; std::getline(conf, line);)
        hostwin::detail::ApplySharedSetting(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
    char label[32];
    ASSERT_TRUE(GetVolumeInformationA("D:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "Odd; label=%");
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(nullptr, &freeBytes, nullptr, nullptr)) << "the current drive is D:";
    EXPECT_EQ(freeBytes.QuadPart, 123456789012ull);
    EXPECT_EQ(Machine::HostPath("d:\\"), folder.string());

    Machine::Reset();
    std::filesystem::remove_all(folder);
}

TEST_F(DrivesHostTest, ResetRestoresTheSystemModule) {
    ASSERT_TRUE(Machine::RemoveExport("Kernel32.dll", "GetDiskFreeSpaceExA"));
    Machine::Reset();
    HMODULE kernel = LoadLibraryA("KERNEL32");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), nullptr);
    FreeLibrary(kernel);
}

}  // namespace
