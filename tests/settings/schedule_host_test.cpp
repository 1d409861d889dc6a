// The next scheduled run on a frozen clock: both modes, across midnight,
// week ends, month ends and the leap day, with and without "ELCC".
#include <gtest/gtest.h>

#include "hostwin/machine.h"
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

struct ScheduleCase {
    const char* name;
    SYSTEMTIME now;
    bool intervalMode;
    DateTimeStamp dcsi;                    // interval mode
    std::vector<DateTimeStamp> list;       // list mode
    DateTimeStamp storedEnst;              // the zero stamp: none stored
    BYTE elcc;
    bool advance;
    DateTimeStamp expected;
};

DateTimeStamp Weekly(BYTE weekday, BYTE pm, BYTE hour, BYTE minute) {
    return DateTimeStamp::MakeWeeklyTime(weekday, pm, hour, minute);
}
// An interval of `days` days run at the given time.
DateTimeStamp Interval(BYTE days, BYTE pm, BYTE hour, BYTE minute) {
    return DateTimeStamp::MakeMonthlyTime(days, pm, hour, minute);
}

const DateTimeStamp kZero = DateTimeStamp::Zero();

// Monday 6 January 2003 unless said otherwise.
const ScheduleCase kCases[] = {
    {"list: Monday 9 AM and daily 6 PM, Monday 10 AM", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero,
     {Weekly(1, 0, 9, 0), Weekly(7, 1, 6, 0)}, kZero, 0, false, Stamp(2003, 0, 6, 1, 1, 6, 0, 0)},
    {"list: daily 12:05 AM across midnight and the year end", LocalTime(2002, 12, 31, 2, 23, 59, 30), false, kZero,
     {Weekly(7, 0, 12, 5)}, kZero, 0, false, Stamp(2003, 0, 1, 3, 0, 12, 5, 0)},
    {"list: Saturday 9 AM at 9:00:00 counts as passed (seconds 59)", LocalTime(2003, 1, 11, 6, 9, 0, 0), false, kZero,
     {Weekly(6, 0, 9, 0)}, kZero, 0, false, Stamp(2003, 0, 18, 6, 0, 9, 0, 0)},
    {"list: Sunday from Saturday night over the week end", LocalTime(2003, 1, 11, 6, 23, 0), false, kZero,
     {Weekly(0, 1, 3, 15)}, kZero, 0, false, Stamp(2003, 0, 12, 0, 1, 3, 15, 0)},
    {"list: daily 6 PM onto the leap day", LocalTime(2004, 2, 28, 6, 19, 0), false, kZero, {Weekly(7, 1, 6, 0)},
     kZero, 0, false, Stamp(2004, 1, 29, 0, 1, 6, 0, 0)},
    {"list: Friday over the month end", LocalTime(2003, 5, 31, 6, 12, 0), false, kZero, {Weekly(5, 0, 8, 0)}, kZero,
     0, false, Stamp(2003, 5, 6, 5, 0, 8, 0, 0)},
    {"list: ties go to the first entry", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero,
     {Weekly(2, 0, 9, 0), Weekly(7, 0, 9, 0)}, kZero, 0, false, Stamp(2003, 0, 7, 2, 0, 9, 0, 0)},
    {"list: empty gives no run", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero, {}, kZero, 0, false, kZero},
    {"list: entries out of range are skipped", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero,
     {Weekly(9, 0, 9, 0), Weekly(1, 0, 13, 0), Weekly(7, 1, 6, 0)}, kZero, 0, false, Stamp(2003, 0, 6, 1, 1, 6, 0, 0)},
    {"list, advance: tomorrow at the current run's time, or an earlier entry", LocalTime(2003, 1, 6, 1, 19, 0), false,
     kZero, {Weekly(2, 0, 9, 0)}, Stamp(2003, 0, 6, 1, 1, 6, 0, 0), 0, true, Stamp(2003, 0, 7, 2, 0, 9, 0, 0)},
    {"list, advance: the current run's time still today", LocalTime(2003, 1, 6, 1, 17, 0), false, kZero,
     {Weekly(3, 0, 9, 0)}, Stamp(2003, 0, 4, 6, 1, 6, 0, 0), 0, true, Stamp(2003, 0, 6, 1, 1, 6, 0, 0)},
    {"list, ELCC: a missed run moves on", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero, {Weekly(1, 0, 9, 0)},
     Stamp(2003, 0, 6, 1, 0, 9, 0, 0), 1, false, Stamp(2003, 0, 7, 2, 0, 9, 0, 0)},
    {"list, ELCC: a run still ahead is recomputed", LocalTime(2003, 1, 6, 1, 10, 0), false, kZero,
     {Weekly(3, 0, 9, 0)}, Stamp(2003, 0, 6, 1, 1, 11, 0, 0), 1, true, Stamp(2003, 0, 8, 3, 0, 9, 0, 0)},
    {"interval: 3 days at 9:30 PM, 8 PM today", LocalTime(2003, 1, 6, 1, 20, 0), true, Interval(3, 1, 9, 30), {},
     kZero, 0, false, Stamp(2003, 0, 8, 3, 1, 9, 30, 0)},
    {"interval: 3 days at 9:30 PM, 10 PM today", LocalTime(2003, 1, 6, 1, 22, 0), true, Interval(3, 1, 9, 30), {},
     kZero, 0, false, Stamp(2003, 0, 9, 4, 1, 9, 30, 0)},
    {"interval: fields compared one by one (1 PM is not after 12:30 PM)", LocalTime(2003, 1, 6, 1, 12, 30), true,
     Interval(1, 1, 1, 0), {}, kZero, 0, false, Stamp(2003, 0, 7, 2, 1, 1, 0, 0)},
    {"interval: 2 days over the month end and the leap day", LocalTime(2004, 2, 28, 6, 23, 0), true,
     Interval(2, 0, 6, 0), {}, kZero, 0, false, Stamp(2004, 2, 1, 1, 0, 6, 0, 0)},
    {"interval, advance: 12:10 AM passed goes over midnight", LocalTime(2003, 12, 31, 3, 23, 50), true,
     Interval(5, 0, 12, 10), {}, kZero, 0, true, Stamp(2004, 0, 1, 4, 0, 12, 10, 0)},
    {"interval, advance: later today", LocalTime(2004, 2, 29, 0, 5, 0), true, Interval(5, 0, 6, 0), {}, kZero, 0,
     true, Stamp(2004, 1, 29, 0, 0, 6, 0, 0)},
    {"interval, ELCC: a missed run moves on one day", LocalTime(2003, 1, 6, 1, 10, 0), true, Interval(3, 0, 9, 0), {},
     Stamp(2003, 0, 6, 1, 0, 9, 0, 0), 1, false, Stamp(2003, 0, 7, 2, 0, 9, 0, 0)},
    {"interval, ELCC: no stored run is computed afresh", LocalTime(2003, 1, 6, 1, 10, 0), true, Interval(3, 0, 9, 0),
     {}, kZero, 5, true, Stamp(2003, 0, 9, 4, 0, 9, 0, 0)},
    {"interval: a time of day out of range gives no run", LocalTime(2003, 1, 6, 1, 10, 0), true,
     Interval(3, 0, 0, 0), {}, kZero, 0, false, kZero},
};

class ScheduleTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }

    static void Store(const ScheduleCase& c) {
        Machine::SetLocalTime(c.now);
        PutSetting("DCU", {static_cast<BYTE>(c.intervalMode)});
        PutSetting("DCSI", BigEndian(c.dcsi.Pack()));
        Bytes list;
        for (const DateTimeStamp& t : c.list) {
            const Bytes b = BigEndian(t.Pack());
            list.insert(list.end(), b.begin(), b.end());
        }
        PutSetting("DCSL", list);
        if (c.storedEnst != kZero)
            PutSetting("ENST", BigEndian(c.storedEnst.Pack()));
        PutSetting("ELCC", {c.elcc, 0, 0, 0});
    }
};

TEST_F(ScheduleTest, NextRunInBothModes) {
    for (const ScheduleCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Machine::ClearRegistry();
        Store(c);
        ProductSettings s;
        s.UpdateNextScheduledTime(c.advance);
        EXPECT_EQ(s.enstStamp.LongText(), c.expected.LongText());
        EXPECT_EQ(s.enstStamp, c.expected);
        EXPECT_EQ(StoredSetting("ENST"), BigEndian(c.expected.Pack())) << "ENST is saved";
        EXPECT_EQ(StoredSetting("ELCC")[0], 0) << "ELCC is cleared";
    }
}

TEST_F(ScheduleTest, SavingTheScheduleRecomputesTheNextRunOfItsMode) {
    Machine::SetLocalTime(LocalTime(2003, 1, 6, 1, 10, 0));
    ProductSettings s;
    s.SetDcu(false);
    s.scheduleTimes = {Weekly(7, 1, 6, 0)};
    s.SaveSetting(SettingId::DCSL);
    EXPECT_EQ(StoredSetting("ENST"), BigEndian(Stamp(2003, 0, 6, 1, 1, 6, 0, 0).Pack()));

    s.dcsiStamp = Interval(2, 0, 7, 0);
    s.SaveSetting(SettingId::DCSI);  // list mode: the interval is only stored
    EXPECT_EQ(StoredSetting("ENST"), BigEndian(Stamp(2003, 0, 6, 1, 1, 6, 0, 0).Pack()));

    s.SetDcu(true);
    s.SaveSetting(SettingId::DCSI);
    EXPECT_EQ(StoredSetting("ENST"), BigEndian(Stamp(2003, 0, 8, 3, 0, 7, 0, 0).Pack()));

    s.SetElcc(3);  // nothing missed: computed afresh, ELCC back to 0
    EXPECT_EQ(StoredSetting("ELCC"), Bytes({0, 0, 0, 0}));
}

// With "ELCC" that cannot be written back, the step that clears it ends all the same.
TEST_F(ScheduleTest, AnElccThatCannotBeClearedDoesNotLoop) {
    Machine::SetLocalTime(LocalTime(2003, 1, 6, 1, 10, 0));
    PutSetting("DCU", {0});
    PutSetting("DCSL", BigEndian(Weekly(3, 0, 9, 0).Pack()));
    PutSetting("ELCC", {1, 0, 0, 0});
    Machine::FailNext("RegSetValueExA", ERROR_ACCESS_DENIED, -1);
    ProductSettings s;
    s.UpdateNextScheduledTime(false);
    Machine::ClearFailures();
    EXPECT_EQ(s.enstStamp, Stamp(2003, 0, 8, 3, 0, 9, 0, 0));
    EXPECT_EQ(StoredSetting("ELCC")[0], 1) << "the write failed";
}

}  // namespace
