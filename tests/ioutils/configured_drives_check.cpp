// Drives as the Wine suite maps them (drive folders, dosdevices links and
// drive types): the machine's answers checked against what the case set up.
// Built for Windows only and run by tests/wine/cases/20-drives-and-logs.sh,
// which passes the expectations in the environment:
//   NM_EXPECT_DRIVE_TYPES="D:5 E:2", NM_EXPECT_SECURED="G:30000000",
//   NM_EXPECT_DRIVE_LIST="G" (the letters of the list built without "DSL").
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "ioutils/secured_space.h"
#include "platform/win32.h"
#include "settings/product_settings.h"

namespace {

const char* Expected(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

TEST(ConfiguredDrives, TypesAreTheMachines) {
    const char* expected = Expected("NM_EXPECT_DRIVE_TYPES");
    ASSERT_NE(expected, nullptr) << "the Wine case sets the expected drives";
    std::istringstream in(expected);
    for (std::string item; in >> item;) {
        const std::string root = item.substr(0, 2) + "\\";
        EXPECT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(std::stoul(item.substr(2)))) << root;
    }
}

TEST(ConfiguredDrives, SecuredSpaceIsMeasuredAndPruned) {
    const char* expected = Expected("NM_EXPECT_SECURED");
    ASSERT_NE(expected, nullptr) << "the Wine case sets the expected drives";
    const std::string item = expected;
    EXPECT_EQ(GetSecuredSpaceSize(item[0]), std::stoull(item.substr(2)));
    EXPECT_EQ(GetSecuredSpaceSize(item[0]), std::stoull(item.substr(2))) << "the same after pruning";
}

TEST(ConfiguredDrives, TheBuiltDriveListHasTheFixedDrivesWithSecuredSpace) {
    const char* expected = Expected("NM_EXPECT_DRIVE_LIST");
    ASSERT_NE(expected, nullptr) << "the Wine case sets the expected drives";
    ProductSettings s;
    s.CheckDriveSpaceList(false);
    std::string letters;
    for (int i = 0; i < s.driveSpaceList.Count(); ++i)
        letters += DriveSpaceList::Letter(s.driveSpaceList.Entry(i));
    EXPECT_EQ(letters, expected);
}

}  // namespace
