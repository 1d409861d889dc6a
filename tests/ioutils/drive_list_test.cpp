// The drive list, the readiness of removable drives and the system-error
// box on a simulated machine; byte-size texts everywhere.
#include "ioutils/drive_list.h"

#include <gtest/gtest.h>

#include "hostwin/machine.h"

namespace {

using hostwin::Machine;

void AddDrive(char letter, UINT type, const char* label = "") {
    Machine::DriveSetup d;
    d.letter = letter;
    d.type = type;
    d.label = label;
    Machine::AddDrive(d);
}

class DriveListTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }
};

TEST_F(DriveListTest, ListsRemovableFixedAndNetworkDrivesWithTheirKinds) {
    AddDrive('A', DRIVE_REMOVABLE, "FLOPPY");  // never asked for its label
    AddDrive('B', DRIVE_REMOVABLE);
    AddDrive('C', DRIVE_FIXED, "SYSTEM");
    AddDrive('D', DRIVE_CDROM, "CD");
    AddDrive('E', DRIVE_RAMDISK, "RAM");
    AddDrive('F', DRIVE_REMOTE);
    AddDrive('G', DRIVE_FIXED, std::string(299, 'L').c_str());
    AddDrive('H', DRIVE_FIXED, "GONE");
    // Without a medium: the labels of fixed and network drives are asked for,
    // and only the quiet error mode keeps the system from asking for a disk.
    for (char empty : {'B', 'F', 'H'})
        Machine::SetDriveMedium(empty, false);

    std::vector<std::string> texts{"kept"};
    int kinds[26];
    std::fill(std::begin(kinds), std::end(kinds), -1);
    ListDrives(texts, kinds);
    const std::vector<std::string> expected{"kept", "A:", "B:", "C:  SYSTEM", "F:", "G:  " + std::string(295, 'L'),
                                            "H:"};
    EXPECT_EQ(texts, expected) << "a label too long for the 300-character text is cut";
    EXPECT_EQ(std::vector<int>(kinds, kinds + 7), (std::vector<int>{0, 1, 3, 2, 3, 3, -1}));
    EXPECT_TRUE(Machine::MessageBoxes().empty()) << "the empty drives asked nobody for a disk";
    EXPECT_EQ(SetErrorMode(0), 0u) << "the error mode is restored";
}

TEST_F(DriveListTest, NoDrivesAtAllIsReportedInABox) {
    Machine::FailNext("GetLogicalDriveStringsA", ERROR_NOT_ENOUGH_MEMORY);
    AddDrive('C', DRIVE_FIXED);
    std::vector<std::string> texts;
    int kinds[26] = {};
    ListDrives(texts, kinds);
    EXPECT_TRUE(texts.empty());
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    const auto box = Machine::MessageBoxes()[0];
    EXPECT_EQ(box.text, "Unable to detect logical drives!");
    EXPECT_EQ(box.caption, "Greyfell - System Error");
    EXPECT_EQ(box.type, UINT{MB_ICONERROR});
    EXPECT_EQ(box.owner, nullptr);
}

TEST_F(DriveListTest, OnlyARemovableDriveCanBeUnready) {
    AddDrive('A', DRIVE_REMOVABLE);
    AddDrive('B', DRIVE_REMOVABLE);
    AddDrive('C', DRIVE_FIXED);
    AddDrive('D', DRIVE_CDROM);
    Machine::SetDriveMedium('A', false);
    Machine::SetDriveMedium('D', false);
    EXPECT_FALSE(IsDriveReady('A'));
    EXPECT_FALSE(IsDriveReady('a'));
    EXPECT_TRUE(IsDriveReady('B'));
    EXPECT_TRUE(Machine::MessageBoxes().empty()) << "no system dialog for the empty floppy";

    // The other kinds are not touched: a failing volume query changes nothing.
    Machine::FailNext("GetVolumeInformationA", ERROR_NOT_READY, -1);
    for (char letter : {'C', 'D', 'Q'})
        EXPECT_TRUE(IsDriveReady(letter)) << letter;
    EXPECT_FALSE(IsDriveReady('B'));

    // Without the quiet error mode the system would have asked the user.
    Machine::ClearFailures();
    char label[32];
    EXPECT_FALSE(GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_READY});
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    EXPECT_EQ(Machine::MessageBoxes()[0].caption, "Windows - No Disk");
}

TEST_F(DriveListTest, ShowSystemErrorShowsTheSystemsText) {
    ShowSystemError(ERROR_ACCESS_DENIED);
    SetLastError(ERROR_SHARING_VIOLATION);
    ShowSystemError(0xFFFFFFFF);
    ShowSystemError(0x2000FFFF);  // no text for it
    const auto boxes = Machine::MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Access is denied.\r\n");
    EXPECT_EQ(boxes[1].text, "The process cannot access the file because it is being used by another process.\r\n");
    EXPECT_EQ(boxes[2].text, "");
    for (const auto& box : boxes) {
        EXPECT_EQ(box.caption, "System Error");
        EXPECT_EQ(box.type, UINT{MB_ICONERROR});
    }
    EXPECT_EQ(Machine::LiveLocalBlocks(), 0u) << "every text was freed";
}

}  // namespace
