// What Initialize learns from the platform, on machines only hostwin can be.
#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "hostwin/machine.h"
#include "support/com_helpers.h"
#include "support/platforms.h"

namespace {

using hostwin::Machine;

class PlatformTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }
};

TEST_F(PlatformTest, TheWindows9xFamilyIsRecognisedByItsPlatformIdentifier) {
    std::vector<nmtest::PlatformCase> cases(std::begin(nmtest::kPlatforms), std::end(nmtest::kPlatforms));
    cases.push_back({"Win32s", {0, 3, 10, 0, ""}, false});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::SetOsVersion(c.version);
        nmtest::Extension ext;
        ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
        EXPECT_EQ(ext.object().IsWin9x(), c.win9x);
    }
}

TEST_F(PlatformTest, TheDropListIsFreedAfterCapture) {
    const size_t before = Machine::LiveGlobalBlocks();
    {
        nmtest::Extension ext;
        ASSERT_EQ(ext.Initialize({"C:\\a.txt", "C:\\b.txt"}), S_OK);
        EXPECT_EQ(Machine::LiveGlobalBlocks(), before);
    }
    EXPECT_EQ(Machine::LiveGlobalBlocks(), before);
}

TEST_F(PlatformTest, AnEmptyDropListIsAnEmptySelection) {
    // The shell never hands over an empty list, and Win32 implementations
    // disagree on how to count one; hostwin counts the names: none.
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({}), S_OK);
    EXPECT_EQ(ext.object().SelectionCount(), 0u);
    EXPECT_TRUE(ext.object().Selection().empty());
}

}  // namespace
