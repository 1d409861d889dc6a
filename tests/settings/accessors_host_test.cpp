// The one-setting accessors, the drive tables and the checks that read the
// clock, on a frozen clock.
#include <gtest/gtest.h>

#include "hostwin/machine.h"
#include "ioutils/deep_clean_age.h"
#include "settings/product_settings.h"
#include "support/settings_registry.h"
#include "support/stamps.h"

namespace {

using hostwin::Machine;
using nmtest::BigEndian;
using nmtest::Bytes;
using nmtest::LocalTime;
using nmtest::PutSetting;
using nmtest::Stamp;
using nmtest::StoredSetting;

// Friday 7 March 2003, 9:05:09 PM.
const SYSTEMTIME kNow = LocalTime(2003, 3, 7, 5, 21, 5, 9);

class AccessorsTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::SetLocalTime(kNow);
    }
    void TearDown() override {
        EXPECT_EQ(Machine::OpenRegistryHandles(), 0u);
        Machine::Reset();
    }
    static DateTimeStamp DaysAgo(int days, BYTE pm = 1, BYTE hour = 9) {
        DateTimeStamp s;
        s.AddDays(-days);
        s.pm = pm;
        s.hour = hour;
        return s;
    }
    static bool Stored(const char* name) {
        bool found = false;
        StoredSetting(name, &found);
        return found;
    }
    ProductSettings s;
};

TEST_F(AccessorsTest, GettersAnswerNoneForMissingValues) {
    s.baseTop = 40;
    EXPECT_EQ(s.GetBaseTop(), -1) << "missing: -1 whatever the field holds";
    EXPECT_EQ(s.SetBaseTop(40), ERROR_SUCCESS);
    EXPECT_EQ(s.GetBaseTop(), 40);
    s.SetAgentLeft(-7);
    EXPECT_EQ(ProductSettings().GetAgentLeft(), -7);
    EXPECT_EQ(ProductSettings().GetBaseLeft(), -1);

    s.dcu = 1;
    EXPECT_FALSE(s.GetDcu()) << "missing DCU is false";
    s.SetDcu(true);
    EXPECT_TRUE(ProductSettings().GetDcu());

    s.enstStamp = Stamp(2003, 2, 7, 5, 1, 9, 5, 9);
    EXPECT_EQ(s.GetEnst(), DateTimeStamp::Zero());

    s.ecd = "kept";
    EXPECT_EQ(s.GetEcd(), "kept");
    s.SetEcd("new");
    EXPECT_EQ(StoredSetting("ECD"), Bytes({'n', 'e', 'w', 0}));
    EXPECT_EQ(ProductSettings().GetEcd(), "new");

    EXPECT_EQ(s.SetDsc(300), ERROR_SUCCESS);
    EXPECT_EQ(StoredSetting("DSC"), Bytes({0x2C, 1, 0, 0}));

    s.TouchLlc();
    EXPECT_EQ(StoredSetting("LLC"), BigEndian(DateTimeStamp().Pack()));
}

TEST_F(AccessorsTest, DclcKeepsDaysAboveAnOnBit) {
    BYTE days = 0, on = 0;
    s.GetDclc(&days, &on);
    EXPECT_EQ(days, 7);
    EXPECT_EQ(on, 0) << "the default 14 is 7 days, off";
    s.SetDclc(7, 1);
    EXPECT_EQ(StoredSetting("DCLC"), Bytes{15});
    ProductSettings fresh;
    fresh.GetDclc(&days, &on);
    EXPECT_EQ(days, 7);
    EXPECT_EQ(on, 1);
}

TEST_F(AccessorsTest, DclcIsDueAfterItsDays) {
    struct Case {
        const char* name;
        BYTE dclc;
        int llcDaysAgo;  // -1: no "LLC"
        bool due;
    };
    const Case cases[] = {
        {"off", 14, 30, false},         {"on, 0 days", 1, 0, true},    {"on, no LLC", 15, -1, true},
        {"6 of 7 days", 15, 6, false},  {"7 of 7 days", 15, 7, true},  {"late yesterday is 1 day", 3, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::ClearRegistry();
        PutSetting("DCLC", {c.dclc});
        if (c.llcDaysAgo >= 0)
            PutSetting("LLC", BigEndian(DaysAgo(c.llcDaysAgo, 1, 11).Pack()));
        EXPECT_EQ(ProductSettings().IsDclcDue(), c.due);
    }
}

TEST_F(AccessorsTest, EgplCountsDownToZeroAndResetsToEgp) {
    struct Case {
        const char* name;
        int egp, egpl;  // -1: missing
        bool decrement;
        int egplAfter, egpAfter;  // -1: still missing
    };
    const Case cases[] = {
        {"decrement 2", 4, 2, true, 1, 4},
        {"decrement stops at 0", 4, 0, true, 0, 4},
        {"decrement, EGPL missing: from EGP", 3, -1, true, 2, 3},
        {"decrement, both missing: from the default 4", -1, -1, true, 3, -1},
        {"decrement, EGPL missing, EGP 0: nothing", 0, -1, true, -1, 0},
        {"reset to EGP", 5, 1, false, 5, 5},
        {"reset, EGP missing: the default is written to both", -1, 1, false, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::ClearRegistry();
        if (c.egp >= 0)
            PutSetting("EGP", {static_cast<BYTE>(c.egp)});
        if (c.egpl >= 0)
            PutSetting("EGPL", {static_cast<BYTE>(c.egpl)});
        ProductSettings settings;
        settings.LoadSetting(SettingId::EGP);
        if (c.decrement)
            settings.DecrementEgpl();
        else
            settings.ResetEgpl();
        bool found = false;
        const Bytes egpl = StoredSetting("EGPL", &found);
        EXPECT_EQ(found ? egpl.at(0) : -1, c.egplAfter);
        const Bytes egp = StoredSetting("EGP", &found);
        EXPECT_EQ(found ? egp.at(0) : -1, c.egpAfter);
    }
    Machine::ClearRegistry();
    ProductSettings zero;
    zero.egp = 0;
    zero.ResetEgpl();
    EXPECT_FALSE(Stored("EGPL")) << "EGP missing and 0: nothing written";
}

TEST_F(AccessorsTest, UpdateCheckIsDueAWeekOnWithinItsHours) {
    ProductSettings settings;
    bool missing = false;
    PutSetting("PG", {0x03, 0, 0, 0});
    EXPECT_FALSE(settings.IsLluDue(&missing)) << "PG entry 3 clear: no check";
    EXPECT_FALSE(missing);

    PutSetting("PG", {0x0B, 0, 0, 0});
    EXPECT_TRUE(settings.IsLluDue(&missing));
    EXPECT_TRUE(missing) << "no LLU yet";

    struct Case {
        WORD hour, minute;
        int lluDaysAgo;
        bool due;
    };
    const Case cases[] = {
        {0, 30, 7, true},  {7, 59, 7, false}, {8, 0, 7, true},   {11, 59, 7, true},  {12, 0, 7, true},
        {21, 59, 7, true}, {22, 0, 7, false}, {23, 30, 30, false}, {10, 0, 6, false}, {10, 0, 400, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << ", LLU " << c.lluDaysAgo << " days ago");
        Machine::SetLocalTime(LocalTime(2003, 3, 7, 5, c.hour, c.minute));
        PutSetting("LLU", BigEndian(DaysAgo(c.lluDaysAgo).Pack()));
        EXPECT_EQ(settings.IsLluDue(&missing), c.due);
        EXPECT_FALSE(missing);
    }
    settings.TouchLlu();
    EXPECT_EQ(StoredSetting("LLU"), BigEndian(DateTimeStamp().Pack()));
}

TEST_F(AccessorsTest, DriveRecordsAndSpaceClassesMatchLettersInEitherCase) {
    EXPECT_EQ(s.GetDriveSetting('c'), 0);
    ASSERT_EQ(s.driveRecordCount, 1);
    EXPECT_EQ(s.driveRecords[0].drive, 'C') << "GetDriveSetting appends upper case";
    EXPECT_EQ(s.driveRecords[0].deepCleanedAt, DateTimeStamp::Zero());
    s.SetDriveSetting('d', 3);
    EXPECT_EQ(s.driveRecords[1].drive, 'd') << "SetDriveSetting keeps the case passed";
    s.SetDriveSetting('C', 1);
    EXPECT_EQ(s.driveRecordCount, 2);
    EXPECT_EQ(s.GetDriveSetting('D'), 3);
    EXPECT_EQ(s.GetDriveSettingLetters(), "Cd");

    s.driveRecords[0].deepFlag13 = 1;
    EXPECT_EQ(s.AreDeepFlagsSet('c'), 0);
    s.driveRecords[0].deepFlag15 = 1;
    EXPECT_EQ(s.AreDeepFlagsSet('c'), 1);
    EXPECT_EQ(s.AreDeepFlagsSet('Q'), 0);

    s.SetDriveSpaceClass('e', 4);
    EXPECT_EQ(s.driveSpaceList.Count(), 1);
    EXPECT_EQ(s.driveSpaceList.Entry(0), 'E' << 8 | 4);
    EXPECT_EQ(s.GetDriveSpaceClass('E'), 4);
    EXPECT_EQ(s.GetDriveSpaceClass('e'), 4);
    s.SetDriveSpaceClass('e', 2);
    EXPECT_EQ(s.driveSpaceList.Entry(0), 'e' << 8 | 2) << "an existing entry takes the letter as passed";
    EXPECT_EQ(s.GetDriveSpaceClass('F'), 0);
}

// Full tables stay full: the appending accessors add nothing past the room.
TEST_F(AccessorsTest, FullTablesTakeNoMore) {
    for (int i = 0; i < ProductSettings::kMaxDriveRecords; ++i)
        s.SetDriveSetting(static_cast<char>('0' + i), 1);
    ASSERT_EQ(s.driveRecordCount, 32);
    s.SetDriveSetting('Z', 9);
    EXPECT_EQ(s.GetDriveSetting('Y'), 0);
    EXPECT_EQ(s.driveRecordCount, 32);
    EXPECT_EQ(s.FindDriveRecord('Z'), nullptr);

    for (int i = 0; i < DriveSpaceList::kMaxEntries; ++i)
        s.SetDriveSpaceClass(static_cast<char>('A' + i), 1);
    s.SetDriveSpaceClass('#', 5);
    EXPECT_EQ(s.driveSpaceList.Count(), 26);
    EXPECT_EQ(s.GetDriveSpaceClass('#'), 0);
}

TEST_F(AccessorsTest, DcgMirrorsEntry14IntoThePagingFileOption) {
    constexpr char kMemoryManagement[] = "System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
    RegKey().Create(HKEY_LOCAL_MACHINE, kMemoryManagement, KEY_READ);  // the system's key is there
    auto pagingFile = [&] {
        RegKey key;
        DWORD value = 99, size = sizeof value;
        if (!key.Open(HKEY_LOCAL_MACHINE, kMemoryManagement, KEY_READ) ||
            RegQueryValueExA(key.get(), "ClearPageFileAtShutdown", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS)
            return DWORD{99};
        return value;
    };
    s.dcgOptions.UnpackOptions(1u << 14);
    s.SaveSetting(SettingId::DCG);
    EXPECT_EQ(pagingFile(), 1u);
    s.dcgOptions.UnpackOptions(0);
    s.SaveSetting(SettingId::DCG);
    EXPECT_EQ(pagingFile(), 0u);
}

// The earliest deep clean of the drives with a setting, and its age in days.
TEST_F(AccessorsTest, EarliestDeepCleanAndOverdueDrives) {
    struct Record {
        char drive;
        BYTE setting;
        DateTimeStamp deep;
    };
    auto store = [](std::initializer_list<Record> records) {
        Machine::ClearRegistry();
        ProductSettings settings;
        for (const Record& r : records) {
            settings.SetDriveSetting(r.drive, r.setting);
            settings.FindDriveRecord(r.drive)->deepCleanedAt = r.deep;
        }
        settings.SaveSetting(SettingId::DCCDA);
    };
    const DateTimeStamp march7 = Stamp(2003, 2, 7, 5, 1, 9, 5, 0), jan2 = Stamp(2003, 0, 2, 4, 0, 10, 0, 0);

    store({{'C', 1, march7}, {'D', 0, jan2}});
    EXPECT_EQ(GetEarliestDeepCleanedAt(), march7) << "D: has no setting";
    store({{'C', 1, DateTimeStamp::Zero()}, {'D', 1, jan2}});
    EXPECT_EQ(GetEarliestDeepCleanedAt(), DateTimeStamp::Zero()) << "one stamp not valid";
    store({{'C', 1, march7}, {'D', 1, jan2}, {'E', 2, jan2}});
    EXPECT_EQ(GetEarliestDeepCleanedAt(), jan2);

    struct AgeCase {
        const char* name;
        DateTimeStamp deep;  // the zero stamp: no record at all
        LONG limit;
        bool overdue;
        DWORD age;
    };
    const AgeCase ages[] = {
        {"no records", DateTimeStamp::Zero(), 7, true, 0},
        {"10 days, limit 7", DaysAgo(10), 7, true, 10},
        {"10 days, limit 10", DaysAgo(10), 10, true, 10},
        {"10 days, limit 11", DaysAgo(10), 11, false, 0},
        {"today, limit 0", DaysAgo(0, 0, 1), 0, true, 0},
        {"tomorrow, limit 0", DaysAgo(-1), 0, false, 0},
    };
    for (const AgeCase& c : ages) {
        SCOPED_TRACE(c.name);
        if (c.deep == DateTimeStamp::Zero())
            Machine::ClearRegistry();
        else
            store({{'C', 1, c.deep}});
        DWORD age = 77;
        EXPECT_EQ(IsDeepCleanOverdue(c.limit, &age), c.overdue);
        EXPECT_EQ(age, c.age);
    }

    // 11:59 PM yesterday is one day old at 12:01 AM.
    Machine::SetLocalTime(LocalTime(2003, 3, 8, 6, 0, 1));
    store({{'C', 1, Stamp(2003, 2, 7, 5, 1, 11, 59, 0)}});
    DWORD age = 0;
    EXPECT_TRUE(IsDeepCleanOverdue(1, &age));
    EXPECT_EQ(age, 1u);
}

}  // namespace
