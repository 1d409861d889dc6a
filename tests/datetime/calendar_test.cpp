// The product's calendar against an independent one.  In 2000-2099 the
// product's calendar (every fourth year a leap year) agrees with the
// Gregorian calendar of <chrono>, so thousands of random stamps there check
// the day numbers, the moves and the weekday; the cases where the product
// differs on purpose are spelled out below.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "datetime/date_time_stamp.h"
#include "support/stamps.h"

namespace {

namespace chr = std::chrono;
using nmtest::Stamp;

constexpr int kRandomCases = 4000;
const chr::sys_days kFirstDay = chr::year{2000} / 1 / 1;
const chr::sys_days kLastDay = chr::year{2099} / 12 / 31;

DateTimeStamp FromChrono(chr::sys_days date, int hourOfDay = 0, int minute = 0, int second = 0) {
    const chr::year_month_day ymd{date};
    const int hour12 = hourOfDay % 12 == 0 ? 12 : hourOfDay % 12;
    return Stamp(static_cast<WORD>(static_cast<int>(ymd.year())), static_cast<BYTE>(unsigned(ymd.month()) - 1),
                 static_cast<BYTE>(unsigned(ymd.day())), static_cast<BYTE>(chr::weekday{date}.c_encoding()),
                 hourOfDay >= 12, static_cast<BYTE>(hour12), static_cast<BYTE>(minute), static_cast<BYTE>(second));
}

// A date in 2000-2099 with `margin` days to spare at both ends.
class RandomDates {
public:
    explicit RandomDates(unsigned seed) : rng_(seed) {}
    chr::sys_days Date(int margin = 0) {
        std::uniform_int_distribution<int> pick((kFirstDay + chr::days{margin}).time_since_epoch().count(),
                                                (kLastDay - chr::days{margin}).time_since_epoch().count());
        return chr::sys_days{chr::days{pick(rng_)}};
    }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

private:
    std::mt19937 rng_;
};

std::string Describe(const DateTimeStamp& s) {
    return std::to_string(s.year) + "-" + std::to_string(s.month + 1) + "-" + std::to_string(s.day) + " wd" +
           std::to_string(s.weekday) + " " + std::to_string(s.HourOfDay()) + ":" + std::to_string(s.minute) + ":" +
           std::to_string(s.second);
}

TEST(Calendar, DayNumberAndWeekdayMatchAnIndependentCalendar) {
    RandomDates random(1);
    for (int i = 0; i < kRandomCases; ++i) {
        const chr::sys_days date = random.Date();
        const DateTimeStamp s = FromChrono(date);
        SCOPED_TRACE(Describe(s));
        ASSERT_EQ(s.DayNumber(), (date - kFirstDay).count() + 1);
    }
}

TEST(Calendar, AddDaysLandsOnTheDateAndWeekdayOfAnIndependentCalendar) {
    RandomDates random(2);
    for (int i = 0; i < kRandomCases; ++i) {
        const chr::sys_days date = random.Date(3000);
        const int n = random.Between(-3000, 3000);
        DateTimeStamp s = FromChrono(date, 15, 4, 5);
        SCOPED_TRACE(Describe(s) + " + " + std::to_string(n) + " days");
        s.AddDays(n);
        ASSERT_EQ(s, FromChrono(date + chr::days{n}, 15, 4, 5));
    }
}

TEST(Calendar, TimeMovesCarryIntoTheDateLikeAnIndependentClock) {
    RandomDates random(3);
    struct Unit {
        const char* name;
        int seconds;
        void (DateTimeStamp::*add)(LONG);
    };
    const Unit units[] = {{"seconds", 1, &DateTimeStamp::AddSeconds},
                          {"minutes", 60, &DateTimeStamp::AddMinutes},
                          {"hours", 3600, &DateTimeStamp::AddHours}};
    for (const Unit& unit : units) {
        for (int i = 0; i < kRandomCases / 4; ++i) {
            const chr::sys_days date = random.Date(400);
            const int start = random.Between(0, 86399);
            const int n = random.Between(-200000, 200000) / (unit.seconds == 3600 ? 20 : 1);
            DateTimeStamp s = FromChrono(date, start / 3600, start / 60 % 60, start % 60);
            SCOPED_TRACE(Describe(s) + " + " + std::to_string(n) + " " + unit.name);
            (s.*unit.add)(n);
            const chr::sys_seconds moved = date + chr::seconds{start + LONGLONG{n} * unit.seconds};
            const chr::sys_days movedDay = chr::floor<chr::days>(moved);
            const int rest = static_cast<int>((moved - movedDay).count());
            ASSERT_EQ(s, FromChrono(movedDay, rest / 3600, rest / 60 % 60, rest % 60));
        }
    }
}

// One month on or back keeps the day of the month where it exists and takes
// the target month's last day where it does not.
TEST(Calendar, SingleMonthAndYearStepsClampTheDayLikeAnIndependentCalendar) {
    RandomDates random(4);
    for (int i = 0; i < kRandomCases; ++i) {
        const chr::year_month_day ymd{random.Date(400)};
        for (int step : {1, -1}) {
            const chr::year_month_day expectedMonth = [&] {
                const chr::year_month target = ymd.year() / ymd.month() + chr::months{step};
                const chr::day last = (target / chr::last).day();
                return target / (ymd.day() > last ? last : ymd.day());
            }();
            DateTimeStamp s = FromChrono(chr::sys_days{ymd});
            SCOPED_TRACE(Describe(s) + " step " + std::to_string(step));
            s.AddMonths(step);
            ASSERT_EQ(s, FromChrono(chr::sys_days{expectedMonth}));

            const chr::year_month_day expectedYear = [&] {
                const chr::year_month target = (ymd.year() + chr::years{step}) / ymd.month();
                const chr::day last = (target / chr::last).day();
                return target / (ymd.day() > last ? last : ymd.day());
            }();
            DateTimeStamp y = FromChrono(chr::sys_days{ymd});
            y.AddYears(step);
            ASSERT_EQ(y, FromChrono(chr::sys_days{expectedYear}));
        }
    }
}

// A move by many months is that many single steps: a day cut short on the
// way (31 January to 28 February) stays short.
TEST(Calendar, ManyMonthsAreManySingleSteps) {
    RandomDates random(5);
    for (int i = 0; i < kRandomCases / 4; ++i) {
        const DateTimeStamp start = FromChrono(random.Date(3000));
        const int n = random.Between(-90, 90);
        DateTimeStamp stepped = start;
        for (int k = 0; k < (n < 0 ? -n : n); ++k)
            stepped.AddMonths(n < 0 ? -1 : 1);
        DateTimeStamp moved = start;
        moved.AddMonths(n);
        SCOPED_TRACE(Describe(start) + " + " + std::to_string(n) + " months");
        ASSERT_EQ(moved, stepped);
    }
    DateTimeStamp jan31 = Stamp(2003, 0, 31, 5, 0, 9, 0, 0);
    jan31.AddMonths(2);
    EXPECT_EQ(jan31, Stamp(2003, 2, 28, 5, 0, 9, 0, 0)) << "31 Jan + 2 months passes 28 Feb";
}

TEST(Calendar, OrderFollowsTheMomentsOfAnIndependentClock) {
    RandomDates random(6);
    for (int i = 0; i < kRandomCases; ++i) {
        const chr::sys_days a = random.Date(), b = random.Between(0, 3) == 0 ? a : random.Date();
        const int ta = random.Between(0, 86399), tb = random.Between(0, 3) == 0 ? ta : random.Between(0, 86399);
        const DateTimeStamp sa = FromChrono(a, ta / 3600, ta / 60 % 60, ta % 60);
        const DateTimeStamp sb = FromChrono(b, tb / 3600, tb / 60 % 60, tb % 60);
        const auto ma = a + chr::seconds{ta}, mb = b + chr::seconds{tb};
        SCOPED_TRACE(Describe(sa) + " vs " + Describe(sb));
        ASSERT_EQ(sa.IsLaterThan(sb), ma > mb);
        ASSERT_EQ(sa.IsAtOrLaterThan(sb), ma >= mb);
        ASSERT_EQ(sa.DaysBetween(sb), (a - b).count());
    }
}

TEST(Calendar, KnownDayNumbersAndMoves) {
    EXPECT_EQ(Stamp(2004, 1, 28, 6, 0, 12, 0, 0).DayNumber(), 1520);
    EXPECT_EQ(Stamp(2004, 1, 29, 0, 0, 12, 0, 0).DayNumber(), 1521);
    EXPECT_EQ(Stamp(2004, 2, 1, 1, 0, 12, 0, 0).DayNumber(), 1522);
    EXPECT_EQ(Stamp(2003, 2, 1, 6, 0, 12, 0, 0).DayNumber(), 1156);
    EXPECT_EQ(Stamp(2001, 0, 1, 1, 0, 12, 0, 0).DayNumber(), 367);

    DateTimeStamp newYear = Stamp(2005, 11, 31, 6, 0, 10, 0, 0);
    newYear.AddDays(1);
    EXPECT_EQ(newYear, Stamp(2006, 0, 1, 0, 0, 10, 0, 0));
    newYear.AddDays(-1);
    EXPECT_EQ(newYear, Stamp(2005, 11, 31, 6, 0, 10, 0, 0));

    DateTimeStamp lateEvening = Stamp(2003, 0, 5, 0, 1, 11, 30, 0);
    lateEvening.AddHours(1);
    EXPECT_EQ(lateEvening, Stamp(2003, 0, 6, 1, 0, 12, 30, 0)) << "11:30 PM + 1 hour is 12:30 AM the next day";

    EXPECT_FALSE(Stamp(2003, 0, 5, 0, 0, 12, 15, 0).IsLaterThan(Stamp(2003, 0, 5, 0, 0, 1, 0, 0)))
        << "12:15 AM is before 1:00 AM";
    EXPECT_TRUE(Stamp(2003, 0, 5, 0, 1, 12, 0, 0).IsLaterThan(Stamp(2003, 0, 5, 0, 0, 11, 59, 0)))
        << "12:00 PM is after 11:59 AM";
    EXPECT_FALSE(Stamp(2003, 0, 5, 0, 0, 9, 0, 0).IsLaterThan(Stamp(2003, 0, 5, 3, 0, 9, 0, 0, 7)))
        << "weekday and extra take no part in the order";
    EXPECT_TRUE(Stamp(2003, 0, 5, 0, 0, 9, 0, 0).IsAtOrLaterThan(Stamp(2003, 0, 5, 3, 0, 9, 0, 0, 7)));
}

// Where the product's calendar parts from the Gregorian one, on purpose.
TEST(Calendar, TheProductsOwnRules) {
    EXPECT_EQ(DateTimeStamp::DaysInMonth(1, 2100), 29) << "2100 is a leap year here";
    EXPECT_EQ(DateTimeStamp::DaysInYear(2100), 366);
    EXPECT_EQ(DateTimeStamp::DaysInMonth(1, 2003), 28);
    DateTimeStamp feb28 = Stamp(2100, 1, 28, 0, 0, 12, 0, 0);
    feb28.AddDays(1);
    EXPECT_EQ(feb28, Stamp(2100, 1, 29, 1, 0, 12, 0, 0));
    EXPECT_EQ(Stamp(2100, 2, 1, 2, 0, 12, 0, 0).DaysBetween(Stamp(2100, 1, 28, 0, 0, 12, 0, 0)), 2);

    // 29 February goes to 28 February of the target year, even a leap one.
    DateTimeStamp leapDay = Stamp(2004, 1, 29, 0, 0, 12, 0, 0);  // a Sunday
    leapDay.AddYears(4);
    EXPECT_EQ(leapDay, Stamp(2008, 1, 28, 4, 0, 12, 0, 0));
    DateTimeStamp back = Stamp(2004, 1, 29, 0, 0, 12, 0, 0);
    back.AddYears(-1);
    EXPECT_EQ(back, Stamp(2003, 1, 28, 5, 0, 12, 0, 0)) << "366 days back";

    DateTimeStamp march31 = Stamp(2003, 2, 31, 1, 0, 12, 0, 0);
    march31.AddMonths(-1);
    EXPECT_EQ(march31, Stamp(2003, 1, 28, 5, 0, 12, 0, 0));
}

TEST(Calendar, ElapsedBorrowsWithTheProductsMonthLengths) {
    struct Case {
        DateTimeStamp later, earlier;
        int years, months, days, hours, minutes, seconds;
    };
    const Case cases[] = {
        // December's 31 days are borrowed for a January stamp.
        {Stamp(2003, 0, 5, 0, 0, 9, 0, 0), Stamp(2002, 11, 20, 5, 0, 10, 0, 0), 0, 0, 15, 23, 0, 0},
        // 9:05:10 PM to 1:07:10 AM the next day.
        {Stamp(2003, 2, 8, 6, 0, 1, 7, 10), Stamp(2003, 2, 7, 5, 1, 9, 5, 10), 0, 0, 0, 4, 2, 0},
        // February always lends 28 days, even in a leap year.
        {Stamp(2004, 2, 1, 1, 0, 12, 0, 0), Stamp(2004, 1, 29, 0, 0, 12, 0, 0), 0, 0, 0, 0, 0, 0},
        {Stamp(2004, 2, 2, 2, 0, 12, 0, 1), Stamp(2004, 1, 3, 2, 0, 12, 0, 2), 0, 0, 26, 23, 59, 59},
        {Stamp(2005, 0, 1, 6, 0, 12, 0, 0), Stamp(2003, 5, 15, 0, 1, 6, 30, 0), 1, 6, 16, 5, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.earlier) + " to " + Describe(c.later));
        const DateTimeStamp e = c.later.Elapsed(c.earlier);
        EXPECT_EQ(e.year, c.years);
        EXPECT_EQ(e.month, c.months);
        EXPECT_EQ(e.day, c.days);
        EXPECT_EQ(e.hour, c.hours);
        EXPECT_EQ(e.minute, c.minutes);
        EXPECT_EQ(e.second, c.seconds);
        EXPECT_EQ(e.weekday, c.later.weekday);
        EXPECT_EQ(e.pm, c.later.pm);
    }
}

// Moves of any size end in a few steps; the 16-bit year stops at its ends.
TEST(Calendar, HugeMovesFinishAndStayWithinTheYearField) {
    DateTimeStamp s = Stamp(2003, 0, 31, 5, 0, 12, 0, 0);
    s.AddMonths(0x7FFFFFFF);
    EXPECT_EQ(s.year, 0xFFFF);
    s.AddDays(-0x7FFFFFFF);
    EXPECT_EQ(s.year, 0);
    EXPECT_EQ(s.month, 0);
    EXPECT_EQ(s.day, 1);
    s.AddYears(-5);
    EXPECT_EQ(s.year, 0);
    s.AddSeconds(0x7FFFFFFF);
    EXPECT_LT(s.year, 100);
}

}  // namespace
