// The registry save through the Win32 API only: the same checks run against
// hostwin's registry and, cross-built, against Wine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/product_settings.h"
#include "settings/reg_key.h"
#include "support/settings_difference.h"
#include "support/stamps.h"
#include "support/test_registry_key.h"

namespace {

using nmtest::Stamp;
using Bytes = std::vector<BYTE>;

class RegistrySave : public testing::Test {
protected:
    void SetUp() override { nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView); }
    void TearDown() override { nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView); }

    // The stored value as type and bytes; type REG_NONE + 1000 when missing.
    static std::pair<DWORD, Bytes> Stored(const char* name, const char* subkey = nullptr) {
        const std::string path = subkey ? std::string(kSettingsKey) + "\\" + subkey : kSettingsKey;
        RegKey key;
        if (!key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | kSettingsView))
            return {1000, {}};
        Bytes data(2048);
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (RegQueryValueExA(key.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            return {1000, {}};
        data.resize(size);
        return {type, data};
    }
    static bool SubkeyExists(const char* name) {
        RegKey key;
        return key.Open(HKEY_LOCAL_MACHINE, (std::string(kSettingsKey) + "\\" + name).c_str(),
                        KEY_READ | kSettingsView);
    }
};

// A record with every field away from its default.
ProductSettings SampleRecord() {
    ProductSettings s;
    s.pph = "C:\\pp";
    s.ecd = "ecd text";
    s.dcsiStamp = Stamp(2003, 2, 7, 5, 1, 9, 5, 9);
    s.enstStamp = Stamp(2004, 1, 29, 0, 0, 12, 30, 0);
    s.llcStamp = Stamp(2003, 0, 5, 0, 0, 9, 7, 3);
    s.elcc = 44;
    s.dsp = 0x12;
    s.dsc = 0x2C;
    s.egp = 7;
    s.egpl = 3;
    s.ehu = 0;
    s.dclc = 15;
    s.efr = 2;
    s.dco = 0;
    s.dcu = 1;
    s.driveRecordCount = 2;
    s.driveRecords[0] = DriveCleanRecord{'C', 1, Stamp(2003, 2, 7, 5, 1, 9, 5, 9), DateTimeStamp::Zero(), 1, 0};
    s.driveRecords[1] = DriveCleanRecord{'d', 0, DateTimeStamp::Zero(), Stamp(2003, 0, 2, 4, 0, 1, 2, 3), 0, 1};
    s.pp = 0x01020304;
    s.baseTop = -2;
    s.baseLeft = 300;
    s.agentTop = 0x7FFFFFFF;
    s.agentLeft = -1;
    s.dcgOptions.UnpackOptions(0x4000);
    s.pgOptions.UnpackOptions(0x8000000F);
    s.admOptions.UnpackOptions(0x5);
    s.driveSpaceList.words[0] = 2;
    s.driveSpaceList.words[1] = 'C' << 8 | 5;
    s.driveSpaceList.words[2] = 'D' << 8 | 1;
    s.scheduleTimes = {DateTimeStamp::MakeWeeklyTime(1, 0, 9, 0), DateTimeStamp::MakeWeeklyTime(7, 1, 6, 5)};
    s.dctEntries = {{1, "A"}, {0, "B"}};
    s.dceEntries = {{1, "only"}};
    return s;
}

TEST_F(RegistrySave, EachSettingIsWrittenInItsRegistryForm) {
    ProductSettings s = SampleRecord();
    s.dcu = 0;  // list mode, so that saving "DCSI" leaves "ENST" alone
    const Bytes dcsi = {3, 2, 7, 5, 0x89, 5, 9, 0};
    struct Case {
        SettingId id;
        DWORD type;
        Bytes bytes;
    };
    const Case cases[] = {
        {SettingId::ADM, REG_BINARY, {5, 0, 0, 0}},
        {SettingId::DCCDA, REG_BINARY, {'C', 1, 1, 0, 0, 9, 5, 0x89, 5, 7, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0,
                                        'd', 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1, 4, 2, 0, 3}},
        {SettingId::DCLC, REG_BINARY, {15}},
        {SettingId::DCG, REG_BINARY, {0, 0x40, 0, 0}},
        {SettingId::DCO, REG_BINARY, {0}},
        {SettingId::DCSI, REG_BINARY, dcsi},
        {SettingId::DCU, REG_BINARY, {0}},
        {SettingId::DSL, REG_BINARY, {2, 0, 5, 'C', 1, 'D'}},
        {SettingId::DSP, REG_BINARY, {0x12, 0, 0, 0}},
        {SettingId::DSC, REG_BINARY, {0x2C, 0, 0, 0}},
        {SettingId::ECD, REG_SZ, {'e', 'c', 'd', ' ', 't', 'e', 'x', 't', 0}},
        {SettingId::EFR, REG_BINARY, {2}},
        {SettingId::EGP, REG_BINARY, {7}},
        {SettingId::EGPL, REG_BINARY, {3}},
        {SettingId::EHU, REG_BINARY, {0}},
        {SettingId::ELCC, REG_BINARY, {44, 0, 0, 0}},
        {SettingId::ENST, REG_BINARY, {4, 1, 29, 0, 12, 30, 0, 0}},
        {SettingId::BaseTop, REG_BINARY, {0xFE, 0xFF, 0xFF, 0xFF}},
        {SettingId::BaseLeft, REG_BINARY, {0x2C, 1, 0, 0}},
        {SettingId::AgentTop, REG_BINARY, {0xFF, 0xFF, 0xFF, 0x7F}},
        {SettingId::AgentLeft, REG_BINARY, {0xFF, 0xFF, 0xFF, 0xFF}},
        {SettingId::PG, REG_BINARY, {0x0F, 0, 0, 0x80}},
        {SettingId::PP, REG_DWORD, {4, 3, 2, 1}},
        {SettingId::PPH, REG_SZ, {'C', ':', '\\', 'p', 'p', 0}},
        {SettingId::LLC, REG_BINARY, {3, 0, 5, 0, 9, 7, 3, 0}},
        {SettingId::DCSL, REG_BINARY, {0, 0, 0, 1, 9, 0, 0, 0, 0, 0, 0, 7, 0x86, 5, 0, 0}},
    };
    for (const Case& c : cases) {
        const char* name = SettingName(c.id);
        SCOPED_TRACE(name);
        EXPECT_EQ(s.SaveSetting(c.id), ERROR_SUCCESS);
        const auto [type, bytes] = Stored(name);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(bytes, c.bytes);
    }
    // Saving the list recomputed the next run: the missed one moved on and
    // "ELCC" was cleared.
    EXPECT_EQ(Stored("ELCC").second, Bytes({0, 0, 0, 0}));
    ProductSettings reread;
    reread.LoadSetting(SettingId::ENST);
    DateTimeStamp aMinuteAgo;
    aMinuteAgo.AddMinutes(-1);
    EXPECT_TRUE(reread.enstStamp.IsValidStamp()) << reread.enstStamp.LongText();
    EXPECT_TRUE(reread.enstStamp.IsLaterThan(aMinuteAgo)) << reread.enstStamp.LongText();
}

TEST_F(RegistrySave, SubkeyListsAreRewrittenAndAnEmptyDctDisappears) {
    ProductSettings s = SampleRecord();
    EXPECT_EQ(s.SaveSetting(SettingId::DCT), ERROR_SUCCESS);
    EXPECT_EQ(Stored("A", "DCT"), (std::pair<DWORD, Bytes>{REG_BINARY, {1}}));
    EXPECT_EQ(Stored("B", "DCT"), (std::pair<DWORD, Bytes>{REG_BINARY, {0}}));
    s.dctEntries = {{1, "C"}};
    s.SaveSetting(SettingId::DCT);
    EXPECT_EQ(Stored("A", "DCT").first, 1000u) << "old entries go";
    EXPECT_EQ(Stored("C", "DCT").second, Bytes{1});

    s.dctEntries.clear();
    EXPECT_EQ(s.SaveSetting(SettingId::DCT), 0);
    EXPECT_FALSE(SubkeyExists("DCT"));

    s.dceEntries.clear();
    EXPECT_EQ(s.SaveSetting(SettingId::DCE), 0);
    EXPECT_TRUE(SubkeyExists("DCE")) << "an empty DCE stays as an empty subkey";

    ProductSettings loaded;
    loaded.dceEntries = {{1, "stale"}};
    loaded.LoadSetting(SettingId::DCE);
    EXPECT_TRUE(loaded.dceEntries.empty());
}

TEST_F(RegistrySave, NoRecordsLeaveTheStoredRecordsAndNothingIsWrittenForNonSettings) {
    ProductSettings s = SampleRecord();
    s.SaveSetting(SettingId::DCCDA);
    const Bytes before = Stored("DCCDA").second;
    ProductSettings empty;
    EXPECT_EQ(empty.SaveSetting(SettingId::DCCDA), 0);
    EXPECT_EQ(Stored("DCCDA").second, before);
    empty.LoadSetting(SettingId::DCCDA);
    EXPECT_EQ(empty.driveRecordCount, 2);
    EXPECT_EQ(empty.driveRecords[1].drive, 'd');

    EXPECT_EQ(s.SaveSetting(SettingId::Unused27), 0);
    EXPECT_EQ(s.SaveSetting(static_cast<SettingId>(29)), 0);
    EXPECT_EQ(s.SaveSetting(static_cast<SettingId>(-1)), 0);

    s.scheduleTimes.clear();
    s.dcu = 1;  // interval mode: the empty list does not touch ENST
    s.SaveSetting(SettingId::DCU);
    s.SaveSetting(SettingId::DCSL);
    EXPECT_EQ(Stored("DCSL"), (std::pair<DWORD, Bytes>{REG_BINARY, {}}));

    // A count beyond the table writes the table, never past it.
    s.driveRecordCount = 200;
    s.SaveSetting(SettingId::DCCDA);
    EXPECT_EQ(Stored("DCCDA").second.size(), 32u * 20);
    s.driveSpaceList.words[0] = 300;
    s.SaveSetting(SettingId::DSL);
    EXPECT_EQ(Stored("DSL").second.size(), 2u + 2 * 26);
}

TEST_F(RegistrySave, SaveAllWritesItsSettingsAndReadsLlcBack) {
    {
        RegKey key;
        ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_SET_VALUE | kSettingsView));
        const BYTE llc[8] = {3, 0, 5, 0, 9, 7, 3, 0};
        RegSetValueExA(key.get(), "LLC", 0, REG_BINARY, llc, sizeof llc);
    }
    ProductSettings s = SampleRecord();
    s.SaveAll();
    EXPECT_EQ(s.llcStamp, Stamp(2003, 0, 5, 0, 0, 9, 7, 3));
    for (const char* written : {"ADM", "DCCDA", "DCLC", "DCG", "DCO", "DCSL", "DCSI", "DCU", "DSL", "DSP", "DSC",
                                "EFR", "ENST", "Base Top", "Base Left", "Agent Top", "Agent Left", "PG", "PP", "PPH"})
        EXPECT_NE(Stored(written).first, 1000u) << written;
    for (const char* notWritten : {"ECD", "EGP", "EGPL", "EHU"})
        EXPECT_EQ(Stored(notWritten).first, 1000u) << notWritten;
    EXPECT_TRUE(SubkeyExists("DCT"));
    EXPECT_TRUE(SubkeyExists("DCE"));
}

// Random records within each field's stored range come back field for field.
TEST_F(RegistrySave, RandomRecordsRoundTrip) {
    std::mt19937 rng(8);
    auto byte = [&] { return static_cast<BYTE>(rng()); };
    auto stamp = [&] {
        return DateTimeStamp::Unpack(PackedStamp{rng()} << 32 | rng());  // every packed form is a stored one
    };
    auto text = [&] {
        std::string t(rng() % 40, 'x');
        for (char& c : t)
            c = static_cast<char>(' ' + rng() % 95);
        return t;
    };
    auto flags = [&](const char* prefix) {
        std::vector<NamedFlag> list;
        const int n = static_cast<int>(rng() % 5);
        for (int i = 0; i < n; ++i)
            list.push_back(NamedFlag{static_cast<DWORD>(rng() % 2), std::string(prefix) + char('a' + i)});
        return list;
    };
    using S = SettingId;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        ProductSettings r;
        r.pph = text();
        r.ecd = text();
        r.dcsiStamp = stamp();
        r.enstStamp = stamp();
        r.llcStamp = stamp();
        r.elcc = byte();
        r.dsp = byte();
        r.dsc = byte();
        r.egp = byte();
        r.egpl = byte();
        r.ehu = byte();
        r.dclc = byte();
        r.efr = byte();
        r.dco = byte();
        r.dcu = byte();
        r.driveRecordCount = static_cast<BYTE>(1 + rng() % 32);
        for (int i = 0; i < r.driveRecordCount; ++i)
            r.driveRecords[i] = DriveCleanRecord{static_cast<char>(byte()), byte(), stamp(), stamp(),
                                                 static_cast<BYTE>(rng() % 2), static_cast<BYTE>(rng() % 2)};
        r.pp = rng();
        r.baseTop = static_cast<LONG>(rng());
        r.baseLeft = static_cast<LONG>(rng());
        r.agentTop = static_cast<LONG>(rng());
        r.agentLeft = static_cast<LONG>(rng());
        r.dcgOptions.UnpackOptions(rng());
        r.pgOptions.UnpackOptions(rng());
        r.admOptions.UnpackOptions(rng());
        r.driveSpaceList.words[0] = static_cast<WORD>(rng() % 27);
        for (int i = 1; i <= r.driveSpaceList.Count(); ++i)
            r.driveSpaceList.words[i] = static_cast<WORD>(rng());
        r.scheduleTimes.resize(rng() % 6);
        for (DateTimeStamp& t : r.scheduleTimes)
            t = stamp();
        r.dctEntries = flags("t");
        r.dceEntries = flags("e");

        nmtest::DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey, kSettingsView);
        ProductSettings writer = r;
        for (int id = 0; id <= 28; ++id)
            writer.SaveSetting(static_cast<S>(id));
        // Saving the schedule recomputes the next run; the record's own
        // values are written last.
        ProductSettings last = r;
        last.SaveSetting(S::ELCC);
        last.SaveSetting(S::ENST);

        ProductSettings loaded;
        for (int id = 0; id <= 28; ++id)
            loaded.LoadSetting(static_cast<S>(id));
        EXPECT_EQ(nmtest::SettingsDifference(loaded, r), "");
    }
}

}  // namespace
