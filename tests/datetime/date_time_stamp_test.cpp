#include "datetime/date_time_stamp.h"

#include <gtest/gtest.h>

#include "support/stamps.h"

namespace {

using nmtest::Stamp;

// One byte a field, most significant first: year - 2000, month, day,
// weekday, hour with the pm bit (0x80), minute, second, extra.  A year
// outside 2000-2255 has no packed form and packs as the zero stamp.
TEST(DateTimeStamp, PacksEachFieldIntoItsByte) {
    struct Case {
        DateTimeStamp stamp;
        ULONGLONG packed;
        bool unpacksToItself;
    };
    const Case cases[] = {
        {Stamp(2003, 2, 7, 5, 1, 9, 5, 9), 0x0302070589050900ull, true},  // Friday 7 March 2003, 9:05:09 PM
        {Stamp(2000, 0, 1, 6, 0, 12, 0, 0), 0x000001060C000000ull, true},
        {Stamp(2255, 11, 31, 0, 1, 12, 59, 59, 0xFF), 0xFF0B1F008C3B3BFFull, true},
        {Stamp(2024, 1, 29, 4, 0, 7, 30, 1, 7), 0x18011D04071E0107ull, true},
        {DateTimeStamp::Zero(), 0, true},
        {Stamp(1999, 11, 31, 5, 1, 11, 59, 59), 0, false},
        {Stamp(2256, 0, 1, 1, 0, 12, 0, 0), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "year " << c.stamp.year << " extra " << int(c.stamp.extra));
        EXPECT_EQ(c.stamp.Pack(), c.packed);
        if (c.unpacksToItself) {
            EXPECT_EQ(DateTimeStamp::Unpack(c.packed), c.stamp);
        }
    }
}

TEST(DateTimeStamp, ZeroStampIsYear2000WithEverythingElseZero) {
    const DateTimeStamp zero = DateTimeStamp::Zero();
    EXPECT_EQ(zero.year, 2000);
    EXPECT_EQ(zero.day, 0);
    EXPECT_EQ(zero.hour, 0);
    DateTimeStamp now;
    now.Reset();
    EXPECT_EQ(now, zero);
}

TEST(DateTimeStamp, ConvertsTheTwentyFourHourClockToTwelveHours) {
    struct Case {
        WORD hour24;
        BYTE hour;
        BYTE pm;
    };
    const Case cases[] = {{0, 12, 0}, {1, 1, 0}, {11, 11, 0}, {12, 12, 1}, {13, 1, 1}, {23, 11, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wHour=" << c.hour24);
        SYSTEMTIME st = {2003, 3, 5, 7, c.hour24, 30, 15, 0};
        const DateTimeStamp s = DateTimeStamp::FromSystemTime(st);
        EXPECT_EQ(s.hour, c.hour);
        EXPECT_EQ(s.pm, c.pm);
        EXPECT_EQ(s.month, 2) << "months count from 0";
        EXPECT_EQ(s.weekday, 5);
        EXPECT_EQ(s.extra, 0);
    }
}

TEST(DateTimeStamp, NewStampTakesTheLocalClock) {
    // Retry until the clock did not pass a second boundary during the reading.
    for (int attempt = 0; attempt < 20; ++attempt) {
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        const DateTimeStamp s;
        GetLocalTime(&after);
        if (before.wSecond != after.wSecond || before.wMinute != after.wMinute)
            continue;
        EXPECT_EQ(s, DateTimeStamp::FromSystemTime(before));
        return;
    }
    FAIL() << "the clock never stood still for a reading";
}

}  // namespace
