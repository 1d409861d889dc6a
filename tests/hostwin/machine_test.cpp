// The control panel of the simulated machine: version, clock, registry text,
// planned failures, and a machine shared through a folder.
#include "hostwin/machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32.h"

namespace {

using hostwin::Machine;

class MachineTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }
};

TEST_F(MachineTest, VersionQueryNeedsTheRecordSizeAndReportsTheChosenSystem) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    Machine::SetWindows9x(10, 0x040A08AE);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 0x040A08AEu);

    Machine::SetWindowsNT(5, 0, 2195);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(info.dwBuildNumber, 2195u);
}

TEST_F(MachineTest, FrozenClockGivesLocalAndUniversalTime) {
    Machine::SetUtcBiasMinutes(-60);  // one hour east of UTC
    Machine::SetLocalTime(SYSTEMTIME{2003, 3, 0, 7, 21, 5, 9, 0});
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    EXPECT_EQ(local.wHour, 21);
    EXPECT_EQ(local.wDayOfWeek, 5) << "7 March 2003 was a Friday";
    EXPECT_EQ(utc.wHour, 20);
}

TEST_F(MachineTest, VirtualSleepMovesTheClockInsteadOfWaiting) {
    Machine::SetLocalTime(SYSTEMTIME{2003, 3, 0, 7, 10, 0, 0, 0});
    Machine::UseVirtualSleep(true);
    Sleep(4500);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(now.wSecond, 4);
    EXPECT_EQ(now.wMilliseconds, 500);
    EXPECT_EQ(Machine::VirtualSleptMs(), 4500);
}

TEST_F(MachineTest, RegistryTextImportsAndExportsEveryValueForm) {
    const char* text =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n"
        "\"UIL\"=\"C:\\\\Program Files\\\\Nullmark\"\r\n"
        "\"ADM\"=hex:ff,ff,\\\r\n"
        "  ff,ff\r\n"
        "\"PP\"=dword:0000012c\r\n"
        "\"M\"=hex(7):41,00,00\r\n"
        "@=\"default\"\r\n";
    std::string error;
    ASSERT_TRUE(Machine::ImportRegistry(text, &error)) << error;

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\GREYFELL\\vi4\\settings", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    BYTE data[64] = {};
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "ADM", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[3], 0xFF);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "PP", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data[0] | data[1] << 8, 300);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "UIL", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "C:\\Program Files\\Nullmark");
    RegCloseKey(key);

    const std::string exported = Machine::ExportRegistry("HKEY_LOCAL_MACHINE\\software\\Greyfell");
    EXPECT_NE(exported.find("\"UIL\"=\"C:\\\\Program Files\\\\Nullmark\""), std::string::npos) << exported;
    EXPECT_NE(exported.find("\"ADM\"=hex:ff,ff,ff,ff"), std::string::npos) << exported;
    EXPECT_NE(exported.find("\"PP\"=dword:0000012c"), std::string::npos) << exported;
    EXPECT_NE(exported.find("\"M\"=hex(7):41,00,00"), std::string::npos) << exported;
    EXPECT_NE(exported.find("@=\"default\""), std::string::npos) << exported;

    // What was exported imports into an empty registry as the same text.
    Machine::ClearRegistry();
    ASSERT_TRUE(Machine::ImportRegistry(exported, &error)) << error;
    EXPECT_EQ(Machine::ExportRegistry("HKEY_LOCAL_MACHINE\\software\\Greyfell"), exported);
}

TEST_F(MachineTest, RegistryTextDeletesKeysAndValues) {
    ASSERT_TRUE(Machine::ImportRegistry("REGEDIT4\n[HKEY_CURRENT_USER\\A\\B]\n\"X\"=\"1\"\n\"Y\"=\"2\"\n"));
    ASSERT_TRUE(Machine::ImportRegistry("REGEDIT4\n[HKEY_CURRENT_USER\\A\\B]\n\"X\"=-\n"));
    std::string text = Machine::ExportRegistry("HKEY_CURRENT_USER\\A");
    EXPECT_EQ(text.find("\"X\""), std::string::npos);
    EXPECT_NE(text.find("\"Y\"=\"2\""), std::string::npos);
    ASSERT_TRUE(Machine::ImportRegistry("REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n"));
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(MachineTest, RegistryTextRejectsWhatIsNotAValidFile) {
    const char* bad[] = {
        "not a registry file\n",
        "REGEDIT4\n\"X\"=\"outside a key\"\n",
        "REGEDIT4\n[HKEY_NOWHERE\\A]\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"X\"=hex:1g\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"X\"=what\n",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(Machine::ImportRegistry(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST_F(MachineTest, ClassesRootIsTheMachinesSoftwareClasses) {
    ASSERT_TRUE(Machine::ImportRegistry("REGEDIT4\n[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n@=\"x\"\n"));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{X}", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(MachineTest, PlannedFailuresHitTheNamedCallTheGivenNumberOfTimes) {
    Machine::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED, 2);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Machine::OpenRegistryHandles(), 0u);
}

TEST_F(MachineTest, ASharedMachineKeepsItsRegistryInTheFolder) {
    const auto folder = std::filesystem::temp_directory_path() / ("hostwin-machine-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Machine::Attach(folder.string());

    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE one = 1;
    ASSERT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    std::stringstream onDisk;
    onDisk << std::ifstream(folder / "registry.reg").rdbuf();
    EXPECT_NE(onDisk.str().find("\"V\"=hex:01"), std::string::npos) << onDisk.str();

    // Another process rewrites the file: the next call sees its registry.
    std::ofstream(folder / "registry.reg", std::ios::trunc)
        << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Shared]\r\n\"V\"=hex:02\r\n\"W\"=hex:03\r\n";
    BYTE b = 0;
    DWORD size = 1;
    EXPECT_EQ(RegQueryValueExA(key, "W", nullptr, nullptr, &b, &size), ERROR_SUCCESS);
    EXPECT_EQ(b, 3);
    RegCloseKey(key);

    Machine::Attach("");
    std::filesystem::remove_all(folder);
}

}  // namespace
