// The registry load: each value's encoding, sizes beyond the record, the
// subkey lists, and the drive-space list checked or built from the drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "settings/product_settings.h"

namespace {

using hostwin::Machine;
using Bytes = std::vector<BYTE>;

constexpr char kKey[] = "software\\Greyfell\\VI4\\Settings";

void SetValue(const std::string& name, const Bytes& data, DWORD type = REG_BINARY, const char* subkey = nullptr) {
    HKEY key;
    const std::string path = subkey ? std::string(kKey) + "\\" + subkey : kKey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

WORD DslEntry(char letter, BYTE spaceClass) { return static_cast<WORD>(letter << 8 | spaceClass); }

class RegistryLoadTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override {
        EXPECT_EQ(Machine::OpenRegistryHandles(), 0u) << "every key is closed again";
        Machine::Reset();
    }
    // A drive with `securedBytes` in its secured-space folder (none: no folder).
    static void AddDrive(char letter, UINT type, ULONGLONG freeBytes, ULONGLONG securedBytes) {
        Machine::DriveSetup d;
        d.letter = letter;
        d.type = type;
        d.freeBytes = freeBytes;
        d.totalBytes = freeBytes + 1;
        const std::string folder = Machine::AddDrive(d) + "/Nullmark Secured Space";
        if (securedBytes == 0)
            return;
        std::filesystem::create_directory(folder);
        std::ofstream(folder + "/1.T~P").close();
        std::filesystem::resize_file(folder + "/1.T~P", securedBytes);
    }

    ProductSettings s;
};

// 2003-03-07 21:05:09, a Friday.
constexpr PackedStamp kStamp = 0x0302070589050900ull;
const Bytes kStampBigEndian = {0x03, 0x02, 0x07, 0x05, 0x89, 0x05, 0x09, 0x00};

TEST_F(RegistryLoadTest, AnEmptyRegistryKeepsTheDefaultsAndBuildsTheDriveList) {
    AddDrive('C', DRIVE_FIXED, 0x80000001, 100);
    AddDrive('D', DRIVE_FIXED, 0x80000001, 0);  // no secured-space files
    AddDrive('E', DRIVE_REMOVABLE, 0x80000001, 100);
    AddDrive('F', DRIVE_FIXED, 0x1E000000, 100);  // exactly 480 MiB: no class
    AddDrive('G', DRIVE_FIXED, 0x1E000001, 100);
    s.LoadAll();
    const ProductSettings defaults;
    EXPECT_EQ(s.admOptions.PackOptions(), defaults.admOptions.PackOptions());
    EXPECT_EQ(s.egpl, 4);
    EXPECT_EQ(s.baseTop, -1);
    EXPECT_EQ(s.driveRecordCount, 0);
    ASSERT_EQ(s.driveSpaceList.Count(), 2);
    EXPECT_EQ(s.driveSpaceList.Entry(0), DslEntry('C', 5));
    EXPECT_EQ(s.driveSpaceList.Entry(1), DslEntry('G', 1));
    EXPECT_EQ(Machine::ExportRegistry("HKEY_LOCAL_MACHINE\\software").find("DSL"), std::string::npos)
        << "the built list is not written";
}

TEST_F(RegistryLoadTest, FreeSpaceClassesStartAboveTheirThresholds) {
    const struct {
        ULONGLONG free;
        BYTE spaceClass;
    } cases[] = {
        {0x1E000000, 0}, {0x1E000001, 1}, {0x2DA00000, 1}, {0x2DA00001, 2}, {0x3EC00000, 2}, {0x3EC00001, 3},
        {0x5E000000, 3}, {0x5E000001, 4}, {0x80000000, 4}, {0x80000001, 5}, {~0ull, 0},
    };
    AddDrive('C', DRIVE_FIXED, 0, 100);
    for (const auto& c : cases) {
        Machine::SetDriveSpace('C', c.free, ~0ull);
        s.CheckDriveSpaceList(false);
        if (c.spaceClass == 0) {
            EXPECT_EQ(s.driveSpaceList.Count(), 0) << std::hex << c.free;
        } else {
            ASSERT_EQ(s.driveSpaceList.Count(), 1) << std::hex << c.free;
            EXPECT_EQ(s.driveSpaceList.Entry(0), DslEntry('C', c.spaceClass)) << std::hex << c.free;
        }
    }
}

TEST_F(RegistryLoadTest, AStoredDriveListKeepsOnlyFixedDrivesWithTheirClasses) {
    AddDrive('A', DRIVE_REMOVABLE, 0, 0);
    AddDrive('C', DRIVE_FIXED, 0, 0);
    AddDrive('D', DRIVE_FIXED, 0, 0);
    SetValue("DSL", {3, 0, 2, 'C', 5, 'A', 4, 'D', 4, 'Z'});  // Z: has no drive
    s.LoadAll();
    ASSERT_EQ(s.driveSpaceList.Count(), 2);
    EXPECT_EQ(s.driveSpaceList.Entry(0), DslEntry('C', 2));
    EXPECT_EQ(s.driveSpaceList.Entry(1), DslEntry('D', 4));

    AddDrive('E', DRIVE_FIXED, 0x80000001, 100);
    SetValue("DSL", {0, 0});
    s.LoadAll();
    EXPECT_EQ(s.driveSpaceList.Count(), 0) << "an empty stored list is not rebuilt";
}

TEST_F(RegistryLoadTest, DriveListsBeyondTheRecordAreCut) {
    for (char c = 'A'; c <= 'Z'; ++c)
        AddDrive(c, DRIVE_FIXED, 0, 0);
    const struct {
        Bytes data;
        int count;
    } cases[] = {
        {{30, 0}, 0},                        // a count without entries
        {{5, 0, 1, 'C', 2, 'D'}, 2},         // a count larger than its entries
        {{1, 0, 1, 'C', 2, 'D'}, 1},         // entries beyond the count
        {{7}, 0},                            // not even a whole count word
    };
    for (const auto& c : cases) {
        SetValue("DSL", c.data);
        EXPECT_TRUE(s.LoadSetting(SettingId::DSL));
        EXPECT_EQ(s.driveSpaceList.Count(), c.count) << c.data.size() << " bytes";
    }
    Bytes many = {40, 0};
    for (int i = 0; i < 40; ++i)
        many.insert(many.end(), {1, static_cast<BYTE>('A' + i % 26)});
    SetValue("DSL", many);
    s.LoadAll();
    ASSERT_EQ(s.driveSpaceList.Count(), DriveSpaceList::kMaxEntries);
    EXPECT_EQ(s.driveSpaceList.Entry(25), DslEntry('Z', 1));
}

TEST_F(RegistryLoadTest, DriveRecordsAreWholeTwentyByteRecordsWithLittleEndianStamps) {
    Bytes data;
    for (int i = 0; i < 2; ++i) {
        data.insert(data.end(), {static_cast<BYTE>('C' + i), 7, 2, 0});
        for (int b = 0; b < 8; ++b)
            data.push_back(kStampBigEndian[7 - b]);
        data.insert(data.end(), 8, 0);
    }
    data.insert(data.end(), 5, 0xEE);  // 45 bytes: a partial third record
    SetValue("DCCDA", data);
    ASSERT_TRUE(s.LoadSetting(SettingId::DCCDA));
    ASSERT_EQ(s.driveRecordCount, 2);
    EXPECT_EQ(s.driveRecords[1].drive, 'D');
    EXPECT_EQ(s.driveRecords[1].driveSetting, 7);
    EXPECT_EQ(s.driveRecords[1].deepFlag13, 1);
    EXPECT_EQ(s.driveRecords[1].deepFlag15, 0);
    EXPECT_EQ(s.driveRecords[1].deepCleanedAt, DateTimeStamp::Unpack(kStamp));
    EXPECT_EQ(s.driveRecords[1].quickCleanedAt, DateTimeStamp::Zero());

    SetValue("DCCDA", Bytes(20 * 40, 'X'));
    ASSERT_TRUE(s.LoadSetting(SettingId::DCCDA));
    EXPECT_EQ(s.driveRecordCount, ProductSettings::kMaxDriveRecords) << "records beyond the slots are ignored";
    EXPECT_EQ(s.driveRecords[31].drive, 'X');
}

TEST_F(RegistryLoadTest, NumbersFlagsStampsAndTexts) {
    SetValue("ADM", {0x0F, 0, 0, 0x80});
    SetValue("ELCC", {0x2C, 0x01, 0, 0});
    SetValue("DSP", {0xFF, 0xFF, 0xFF, 0xFF});
    SetValue("EGP", {7});
    SetValue("Base Top", {0xFE, 0xFF, 0xFF, 0xFF});
    SetValue("Agent Left", {0xFF, 0xFF});  // two bytes: the rest reads as zero
    SetValue("PP", {0x2C, 0x01, 0, 0}, REG_DWORD);
    SetValue("PPH", Text(std::string("pass\0word", 9)), REG_SZ);
    SetValue("ECD", Text("no terminator"), REG_BINARY);
    SetValue("DCSI", kStampBigEndian);
    SetValue("LLC", {0x03, 0x02, 0x07, 0x05});  // short: padded with zeros
    Bytes schedule = kStampBigEndian;
    schedule.insert(schedule.end(), {0x04, 0, 1, 7, 0x0C, 0, 0, 0, 0xAA});
    SetValue("DCSL", schedule);
    s.LoadAll();
    EXPECT_EQ(s.admOptions.PackOptions(), 0x8000000Fu);
    EXPECT_EQ(s.elcc, 44u) << "first byte only";
    EXPECT_EQ(s.dsp, 255u);
    EXPECT_EQ(s.egp, 7);
    EXPECT_EQ(s.egpl, 7) << "missing EGPL falls back to EGP";
    EXPECT_EQ(s.baseTop, -2);
    EXPECT_EQ(s.agentLeft, 0xFFFF);
    EXPECT_EQ(s.pp, 300u);
    EXPECT_EQ(s.pph, "pass");
    EXPECT_EQ(s.ecd, "") << "ECD is not part of the full load";
    ASSERT_TRUE(s.LoadSetting(SettingId::ECD));
    EXPECT_EQ(s.ecd, "no terminator");
    EXPECT_EQ(s.dcsiStamp, DateTimeStamp::Unpack(kStamp));
    EXPECT_EQ(s.dcsiStamp.hour, 9);
    EXPECT_EQ(s.dcsiStamp.pm, 1);
    EXPECT_EQ(s.llcStamp, DateTimeStamp::Unpack(0x0302070500000000ull));
    ASSERT_EQ(s.scheduleTimes.size(), 2u) << "whole stamps only";
    EXPECT_EQ(s.scheduleTimes[1], DateTimeStamp::Unpack(0x040001070C000000ull));
}

TEST_F(RegistryLoadTest, MissingAndOversizedValuesLeaveFieldsAlone) {
    s.baseLeft = 12;
    SetValue("Base Left", Bytes(1025, 1));
    EXPECT_FALSE(s.LoadSetting(SettingId::BaseLeft));
    EXPECT_EQ(s.baseLeft, 12) << "longer than 1024 bytes counts as missing";
    SetValue("Base Left", Bytes(1024, 1));
    EXPECT_TRUE(s.LoadSetting(SettingId::BaseLeft));
    EXPECT_EQ(s.baseLeft, 0x01010101);

    s.egp = 9;
    s.egpl = 1;
    EXPECT_FALSE(s.LoadSetting(SettingId::EGPL));
    EXPECT_EQ(s.egpl, 9);

    // 27 and anything above 28 are not settings: no registry access at all.
    Machine::FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(s.LoadSetting(SettingId::Unused27));
    EXPECT_FALSE(s.LoadSetting(static_cast<SettingId>(29)));
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_ACCESS_DENIED)
        << "the planned failure is still there";
}

TEST_F(RegistryLoadTest, SubkeysBecomeNamedFlagListsAndAnswerFalse) {
    SetValue("A", {1}, REG_BINARY, "DCT");
    SetValue("B", {0, 1}, REG_BINARY, "DCT");
    SetValue(std::string(259, 'n'), {2}, REG_BINARY, "DCT");
    s.dctEntries = {{1, "old"}};
    EXPECT_FALSE(s.LoadSetting(SettingId::DCT));
    ASSERT_EQ(s.dctEntries.size(), 3u);
    EXPECT_EQ(s.dctEntries[0].flag, 1u);
    EXPECT_EQ(s.dctEntries[0].name, "A");
    EXPECT_EQ(s.dctEntries[1].flag, 0u);
    EXPECT_EQ(s.dctEntries[1].name, "B");
    EXPECT_EQ(s.dctEntries[2].name, std::string(259, 'n'));

    s.dceEntries = {{1, "kept"}};
    EXPECT_FALSE(s.LoadSetting(SettingId::DCE));
    EXPECT_EQ(s.dceEntries.size(), 1u) << "no subkey: the list stays";

    Machine::ClearRegistry();
    SetValue("DCT", {1});
    EXPECT_TRUE(s.LoadSetting(SettingId::DCT)) << "without its subkey DCT is looked for as a value";
    EXPECT_EQ(s.dctEntries.size(), 3u);
}

}  // namespace
