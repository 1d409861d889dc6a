// ClearPageFileAtShutdown on the platforms that the simulated machine can be.
#include <gtest/gtest.h>

#include "hostwin/machine.h"
#include "platform/win32.h"
#include "settings/shell_folders.h"

namespace {

constexpr char kMemoryManagement[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

class ClearPageFileHostTest : public testing::Test {
protected:
    void SetUp() override { hostwin::Machine::Reset(); }
    void TearDown() override { hostwin::Machine::Reset(); }
};

TEST_F(ClearPageFileHostTest, TheWindows95FamilyTouchesNothing) {
    ASSERT_TRUE(hostwin::Machine::ImportRegistry(std::string("REGEDIT4\r\n\r\n[") + kMemoryManagement + "]\r\n"));
    const std::string before = hostwin::Machine::ExportRegistry(kMemoryManagement);
    hostwin::Machine::SetWindows9x();
    SetClearPageFileAtShutdown(true);
    EXPECT_EQ(hostwin::Machine::ExportRegistry(kMemoryManagement), before);
}

TEST_F(ClearPageFileHostTest, AMissingKeyIsNotCreated) {
    SetClearPageFileAtShutdown(true);
    EXPECT_EQ(hostwin::Machine::ExportRegistry("HKEY_LOCAL_MACHINE\\System"), "REGEDIT4\r\n\r\n");
    EXPECT_EQ(hostwin::Machine::OpenRegistryHandles(), 0u);
}

}  // namespace
