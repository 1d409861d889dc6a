// The running processes through both facilities, on a simulated process
// table: the snapshot on every version but NT 4, the status library there.
#include "ioutils/running_processes.h"

#include <gtest/gtest.h>

#include "hostwin/machine.h"
#include "platform/win32.h"

namespace {

using hostwin::Machine;

class RunningProcessesTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        self_ = std::string(path).substr(std::string(path).find_last_of('/') + 1);
        Machine::AddProcess("System", false);
        Machine::AddProcess("explorer.exe");
        Machine::AddProcess("OtherUser.EXE", false);
    }
    void TearDown() override { Machine::Reset(); }

    std::string self_;
};

TEST_F(RunningProcessesTest, EachVersionUsesItsFacility) {
    struct Case {
        const char* name;
        hostwin::OsVersion version;
        bool everyProcess;  // the snapshot lists what the status library cannot open
    } cases[] = {
        {"Windows XP", {2, 5, 1, 2600, ""}, true},
        {"Windows 2000", {2, 5, 0, 2195, ""}, true},
        {"Windows 98", {1, 4, 10, 0x040A08AE, ""}, true},
        {"Windows NT 4", {2, 4, 0, 1381, ""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::SetOsVersion(c.version);
        std::vector<std::string> names{"kept"};
        ListRunningProcesses(names);
        const std::vector<std::string> expected =
            c.everyProcess ? std::vector<std::string>{"kept", self_, "System", "explorer.exe", "OtherUser.EXE"}
                           : std::vector<std::string>{"kept", self_, "explorer.exe"};
        EXPECT_EQ(names, expected);
        EXPECT_EQ(Machine::ModuleLoadCount("PSAPI.DLL") + Machine::ModuleLoadCount("Kernel32.dll"), 0)
            << "the library is unloaded again";
    }
    EXPECT_EQ(Machine::OpenHandles(), 0u);
}

TEST_F(RunningProcessesTest, NT4ExaminesOnlyTheFirst256Identifiers) {
    Machine::SetWindowsNT(4, 0, 1381);
    for (int i = 0; i < 300; ++i)
        Machine::AddProcess("p" + std::to_string(i) + ".exe");
    std::vector<std::string> names;
    ListRunningProcesses(names);
    // This process and the first 255 entries added: System and OtherUser.EXE
    // take two of the 256 places without being listed.
    ASSERT_EQ(names.size(), 254u);
    EXPECT_EQ(names.back(), "p251.exe");
}

TEST_F(RunningProcessesTest, AMissingFacilityListsNothing) {
    struct Case {
        const char* name;
        hostwin::OsVersion version;
        const char* module;
        const char* missing;  // an export taken away, or none
        const char* failing;  // an API that fails, or none
    } cases[] = {
        {"no snapshot export", {2, 5, 1, 2600, ""}, "Kernel32.dll", "Process32Next", nullptr},
        {"snapshot refused", {2, 5, 1, 2600, ""}, nullptr, nullptr, "CreateToolhelp32Snapshot"},
        {"no process list", {2, 4, 0, 1381, ""}, nullptr, nullptr, "EnumProcesses"},
        {"no status export", {2, 4, 0, 1381, ""}, "PSAPI.DLL", "GetModuleBaseNameA", nullptr},
        {"no status library", {2, 4, 0, 1381, ""}, nullptr, nullptr, "LoadLibraryA"},
        {"no version", {2, 5, 1, 2600, ""}, nullptr, nullptr, "GetVersionExA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::Reset();
        Machine::SetOsVersion(c.version);
        if (c.missing) {
            ASSERT_TRUE(Machine::RemoveExport(c.module, c.missing));
        }
        if (c.failing)
            Machine::FailNext(c.failing, ERROR_ACCESS_DENIED);
        std::vector<std::string> names;
        ListRunningProcesses(names);
        EXPECT_TRUE(names.empty());
        EXPECT_EQ(Machine::ModuleLoadCount("PSAPI.DLL") + Machine::ModuleLoadCount("Kernel32.dll"), 0)
            << "the library goes on every way out";
        EXPECT_EQ(Machine::OpenHandles(), 0u);
        Machine::ClearFailures();
    }
}

}  // namespace
