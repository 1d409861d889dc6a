#include "datetime/date_time_stamp.h"

#include <gtest/gtest.h>

#include "support/stamps.h"

namespace {

using nmtest::Stamp;

TEST(DateTimeStamp, PacksMostSignificantByteFirstWithThePmBitInTheHourByte) {
    // Friday 7 March 2003, 21:05:09.
    const DateTimeStamp s = Stamp(2003, 2, 7, 5, 1, 9, 5, 9);
    EXPECT_EQ(s.Pack(), 0x0302070589050900ull);

    const DateTimeStamp back = DateTimeStamp::Unpack(0x0302070589050900ull);
    EXPECT_EQ(back.hour, 9);
    EXPECT_EQ(back.pm, 1);
    EXPECT_EQ(back, s);
}

TEST(DateTimeStamp, RoundTripsEveryFieldThroughItsPackedForm) {
    const DateTimeStamp cases[] = {
        Stamp(2000, 0, 1, 6, 0, 12, 0, 0),     Stamp(2255, 11, 31, 0, 1, 12, 59, 59, 0xFF),
        Stamp(2024, 1, 29, 4, 0, 7, 30, 1, 7), Stamp(2010, 6, 15, 2, 1, 1, 2, 3),
    };
    for (const DateTimeStamp& s : cases) {
        SCOPED_TRACE(testing::Message() << "year " << s.year << " extra " << int(s.extra));
        EXPECT_EQ(DateTimeStamp::Unpack(s.Pack()), s);
    }
}

TEST(DateTimeStamp, ZeroStampIsYear2000WithEverythingElseZeroAndPacksToZero) {
    const DateTimeStamp zero = DateTimeStamp::Zero();
    EXPECT_EQ(zero.year, 2000);
    EXPECT_EQ(zero.day, 0);
    EXPECT_EQ(zero.hour, 0);
    EXPECT_EQ(zero.Pack(), 0u);
    EXPECT_EQ(DateTimeStamp::Unpack(0), zero);

    DateTimeStamp now;
    now.Reset();
    EXPECT_EQ(now, zero);
}

TEST(DateTimeStamp, YearsWithoutAPackedFormPackAsTheZeroStamp) {
    EXPECT_EQ(Stamp(1999, 11, 31, 5, 1, 11, 59, 59).Pack(), 0u);
    EXPECT_EQ(Stamp(2256, 0, 1, 1, 0, 12, 0, 0).Pack(), 0u);
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
