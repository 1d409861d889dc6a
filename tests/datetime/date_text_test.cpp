// Validity, schedules, the four texts and file times.  Win32 calls only: the
// file-time checks compare with the platform's own conversion.
#include <gtest/gtest.h>

#include "datetime/date_time_stamp.h"
#include "support/stamps.h"

namespace {

using nmtest::Stamp;

TEST(StampValidity, RangesWeekdayAndExtraDecide) {
    struct Case {
        const char* name;
        DateTimeStamp stamp;
        bool valid;
    };
    const Case cases[] = {
        {"Sunday 5 Jan 2003", Stamp(2003, 0, 5, 0, 0, 9, 7, 3), true},
        {"5 Jan 2003 said to be a Monday", Stamp(2003, 0, 5, 1, 0, 9, 7, 3), false},
        {"extra not 0", Stamp(2003, 0, 5, 0, 0, 9, 7, 3, 1), false},
        {"zero stamp", DateTimeStamp::Zero(), false},
        {"year 1999", Stamp(1999, 11, 31, 5, 0, 9, 0, 0), false},
        {"month 12", Stamp(2003, 12, 5, 0, 0, 9, 0, 0), false},
        {"hour 0", Stamp(2003, 0, 5, 0, 0, 0, 0, 0), false},
        {"hour 13", Stamp(2003, 0, 5, 0, 0, 13, 0, 0), false},
        {"pm 2", Stamp(2003, 0, 5, 0, 2, 9, 0, 0), false},
        {"minute 60", Stamp(2003, 0, 5, 0, 0, 9, 60, 0), false},
        {"second 60", Stamp(2003, 0, 5, 0, 0, 9, 0, 60), false},
        {"weekday 7", Stamp(2003, 0, 5, 7, 0, 9, 0, 0), false},
        // A past 31 April with the weekday of 1 May walks onto today by whole
        // days and passes; a future one is caught.
        {"past 31 Apr 2003 (1 May was a Thursday)", Stamp(2003, 3, 31, 4, 0, 9, 0, 0), true},
        {"future 31 Apr 2090 (1 May is a Monday)", Stamp(2090, 3, 31, 1, 0, 9, 0, 0), false},
        {"future 1 May 2090", Stamp(2090, 4, 1, 1, 0, 9, 0, 0), true},
        {"leap day 2096", Stamp(2096, 1, 29, 3, 1, 12, 0, 0), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.stamp.IsValidStamp(), c.valid);
    }
}

TEST(StampTexts, LongAndShortDates) {
    struct Case {
        DateTimeStamp stamp;
        const char* longText;
        const char* shortText;
    };
    const Case cases[] = {
        {Stamp(2003, 0, 5, 0, 0, 9, 7, 3), "Sun Jan 5, 2003 9:07:03 AM", "01/05/03 9:07 AM"},
        {Stamp(2010, 2, 5, 5, 1, 9, 5, 0), "Fri Mar 5, 2010 9:05:00 PM", "03/05/10 9:05 PM"},
        {Stamp(2003, 2, 7, 5, 1, 9, 5, 9), "Fri Mar 7, 2003 9:05:09 PM", "03/07/03 9:05 PM"},
        {Stamp(2021, 11, 25, 6, 1, 12, 30, 45), "Sat Dec 25, 2021 12:30:45 PM", "12/25/21 12:30 PM"},
        {Stamp(2000, 0, 1, 6, 0, 12, 0, 0), "Sat Jan 1, 2000 12:00:00 AM", "01/01/00 12:00 AM"},
        {Stamp(2003, 0, 5, 1, 0, 9, 7, 3), "None", "None"},
        {DateTimeStamp::Zero(), "None", "None"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.longText);
        EXPECT_EQ(c.stamp.LongText(), c.longText);
        EXPECT_EQ(c.stamp.ShortText(), c.shortText);
    }
}

TEST(StampTexts, DurationsNameEachNonZeroPartAndAlwaysTheSeconds) {
    struct Case {
        WORD years;
        BYTE months, days, hours, minutes, seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, 1, 0, 0, 5, "1 day, 5 seconds"},
        {0, 0, 0, 0, 0, 0, "0 seconds"},
        {0, 0, 2, 1, 0, 5, "2 days, 1 hour, 5 seconds"},
        {1, 1, 1, 1, 1, 1, "1 year, 1 month, 1 day, 1 hour, 1 minute, 1 second"},
        {3, 11, 30, 23, 59, 59, "3 years, 11 months, 30 days, 23 hours, 59 minutes, 59 seconds"},
        {0, 0, 0, 0, 10, 0, "10 minutes, 0 seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DateTimeStamp counts = DateTimeStamp::Zero();
        counts.year = c.years;
        counts.month = c.months;
        counts.day = c.days;
        counts.hour = c.hours;
        counts.minute = c.minutes;
        counts.second = c.seconds;
        EXPECT_EQ(counts.DurationText(), c.text);
    }
}

TEST(StampTexts, Schedules) {
    struct Case {
        BYTE weekday, pm, hour, minute;
        const char* text;
    };
    const Case cases[] = {
        {7, 1, 6, 5, "Daily at 6:05 PM"},     {1, 1, 9, 5, "Mondays at 9:05 PM"},
        {0, 0, 12, 0, "Sundays at 12:00 AM"}, {3, 0, 10, 45, "Wednesdays at 10:45 AM"},
        {6, 1, 12, 30, "Saturdays at 12:30 PM"}, {9, 0, 1, 2, "1:02 AM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DateTimeStamp::MakeWeeklyTime(c.weekday, c.pm, c.hour, c.minute).ScheduleText(), c.text);
    }
    const DateTimeStamp monthly = DateTimeStamp::MakeMonthlyTime(15, 1, 3, 7);
    EXPECT_EQ(monthly, Stamp(2000, 0, 15, 0, 1, 3, 7, 0));
}

TEST(Schedules, NextOccurrenceIsAtOrAfterTheReference) {
    const DateTimeStamp mondayNine = DateTimeStamp::MakeWeeklyTime(1, 0, 9, 0);
    const DateTimeStamp daily6pm = DateTimeStamp::MakeWeeklyTime(7, 1, 6, 0);
    struct Case {
        const char* name;
        DateTimeStamp entry, reference, expected;
    };
    const Case cases[] = {
        {"same moment", mondayNine, Stamp(2003, 0, 6, 1, 0, 9, 0, 0), Stamp(2003, 0, 6, 1, 0, 9, 0, 0)},
        {"one second late", mondayNine, Stamp(2003, 0, 6, 1, 0, 9, 0, 1), Stamp(2003, 0, 13, 1, 0, 9, 0, 0)},
        {"from Saturday over the month end", mondayNine, Stamp(2003, 4, 31, 6, 1, 11, 0, 0),
         Stamp(2003, 5, 2, 1, 0, 9, 0, 0)},
        {"daily, still ahead", daily6pm, Stamp(2003, 0, 6, 1, 0, 10, 0, 0), Stamp(2003, 0, 6, 1, 1, 6, 0, 0)},
        {"daily, passed, over the leap day", daily6pm, Stamp(2004, 1, 28, 6, 1, 7, 0, 0),
         Stamp(2004, 1, 29, 0, 1, 6, 0, 0)},
        {"daily, passed at new year", daily6pm, Stamp(2003, 11, 31, 3, 1, 11, 59, 59), Stamp(2004, 0, 1, 4, 1, 6, 0, 0)},
        {"weekday out of range names no moment", DateTimeStamp::MakeWeeklyTime(8, 0, 9, 0),
         Stamp(2003, 0, 6, 1, 0, 9, 0, 0), DateTimeStamp::Zero()},
        {"hour 0 names no moment", DateTimeStamp::MakeWeeklyTime(1, 0, 0, 0), Stamp(2003, 0, 6, 1, 0, 9, 0, 0),
         DateTimeStamp::Zero()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DateTimeStamp::NextOccurrence(c.entry, c.reference), c.expected);
    }
}

// Against the platform's own conversion: the stamp's fields go in unchanged.
TEST(StampFileTimes, ToFileTimeIsThePlatformsConversionOfTheFields) {
    const DateTimeStamp stamps[] = {Stamp(2003, 2, 7, 5, 1, 9, 5, 9), Stamp(2000, 0, 1, 6, 0, 12, 0, 0),
                                    Stamp(2096, 1, 29, 3, 1, 11, 59, 59), Stamp(2255, 11, 31, 1, 0, 1, 2, 3)};
    for (const DateTimeStamp& s : stamps) {
        SCOPED_TRACE(s.LongText());
        FILETIME mine{}, platform{};
        ASSERT_TRUE(s.ToFileTime(&mine));
        SYSTEMTIME st{s.year, WORD(s.month + 1), s.weekday, s.day, WORD(s.HourOfDay()), s.minute, s.second, 0};
        ASSERT_TRUE(SystemTimeToFileTime(&st, &platform));
        EXPECT_EQ(mine.dwLowDateTime, platform.dwLowDateTime);
        EXPECT_EQ(mine.dwHighDateTime, platform.dwHighDateTime);

        DateTimeStamp back = DateTimeStamp::Zero();
        back.FromFileTime(mine, false);
        DateTimeStamp expected = s;
        expected.second = 0;  // a stamp from a file time keeps the minute only
        EXPECT_EQ(back, expected);
    }
    // The platform refuses days that do not exist, and so does ToFileTime.
    FILETIME ft;
    EXPECT_FALSE(Stamp(2003, 3, 31, 4, 0, 12, 0, 0).ToFileTime(&ft));
    EXPECT_FALSE(Stamp(2003, 12, 1, 6, 0, 12, 0, 0).ToFileTime(&ft));
    DateTimeStamp failed = Stamp(2003, 0, 5, 0, 0, 9, 7, 3);
    const FILETIME tooLate{0xFFFFFFFFu, 0xFFFFFFFFu};
    failed.FromFileTime(tooLate, false);
    EXPECT_EQ(failed, DateTimeStamp::Zero());
}

// The local step uses the zone's answer: standard time moves by -Bias,
// daylight time by -(Bias + DaylightBias), no answer leaves the time.
TEST(StampFileTimes, FromFileTimeToLocalAppliesTheZonesBias) {
    const DateTimeStamp utc = Stamp(2003, 2, 7, 5, 1, 9, 5, 0);
    FILETIME ft;
    ASSERT_TRUE(utc.ToFileTime(&ft));
    TIME_ZONE_INFORMATION zone{};
    const DWORD answer = GetTimeZoneInformation(&zone);
    DateTimeStamp expected = utc;
    if (answer == TIME_ZONE_ID_STANDARD)
        expected.AddMinutes(-zone.Bias);
    else if (answer == TIME_ZONE_ID_DAYLIGHT)
        expected.AddMinutes(-(zone.Bias + zone.DaylightBias));
    DateTimeStamp local = DateTimeStamp::Zero();
    local.FromFileTime(ft, true);
    SCOPED_TRACE(testing::Message() << "zone answer " << answer << ", bias " << zone.Bias);
    EXPECT_EQ(local, expected);
}

}  // namespace
