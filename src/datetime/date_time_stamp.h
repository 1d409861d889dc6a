// DateTimeStamp: a local date and time on the 12-hour clock, its 64-bit
// packed form as the settings store it, its calendar arithmetic and the texts
// in which the product shows it.
//
// The product's calendar makes every year divisible by 4 a leap year, 2100
// included: it has no century rule, and neither has anything here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

// Most significant byte first: year - 2000, month, day, weekday,
// hour | 0x80 for pm, minute, second, extra.
using PackedStamp = std::uint64_t;

struct DateTimeStamp {
    WORD year;
    BYTE month;    // 0 = January
    BYTE day;      // 1-31; 0 only in the zero stamp
    BYTE weekday;  // 0 = Sunday
    BYTE pm;       // 1 for 12:00-23:59
    BYTE hour;     // 1-12; midnight and noon are 12
    BYTE minute;
    BYTE second;
    BYTE extra;    // carried and compared; 0 when taken from the clock

    // A new stamp holds the current local time, as the product's stamps
    // always have; use Zero() for the empty one.
    DateTimeStamp();

    static DateTimeStamp Zero();
    static DateTimeStamp FromSystemTime(const SYSTEMTIME& local);
    void SetToNow();
    void Reset();  // the zero stamp: year 2000, everything else 0

    // A year outside 2000-2255 has no packed form; such a stamp packs to 0,
    // which reads back as the zero stamp ("not stored") rather than as a
    // wrong year.
    PackedStamp Pack() const;
    static DateTimeStamp Unpack(PackedStamp packed);

    bool operator==(const DateTimeStamp& other) const;
    bool operator!=(const DateTimeStamp& other) const { return !(*this == other); }

    // --- calendar (date_calendar.cpp)
    static int DaysInMonth(int month, int year);  // month 0-11
    static int DaysInYear(int year);
    LONG DayNumber() const;  // 1 January 2000 is day 1
    LONG DaysBetween(const DateTimeStamp& other) const { return DayNumber() - other.DayNumber(); }
    int HourOfDay() const { return (hour == 12 ? 0 : hour) + (pm != 0 ? 12 : 0); }

    // Moves with carries; the weekday moves with the date.
    void AddSeconds(LONG n);
    void AddMinutes(LONG n);
    void AddHours(LONG n);
    void AddDays(LONG n);
    void AddMonths(LONG n);
    void AddYears(LONG n);

    // --- order, validity and elapsed time (date_order.cpp)
    bool IsLaterThan(const DateTimeStamp& other) const;  // weekday and extra not compared
    bool IsAtOrLaterThan(const DateTimeStamp& other) const;
    bool IsValidStamp() const;  // in range, and its weekday matches its date

    // this - earlier as counts: year years, month months, day days, hour 0-23.
    DateTimeStamp Elapsed(const DateTimeStamp& earlier) const;
    // --- schedules (date_schedule.cpp)
    // The next moment at or after `reference` that a schedule entry names
    // (weekday 0-6, or 7 for every day, and a time of day).
    static DateTimeStamp NextOccurrence(const DateTimeStamp& entry, const DateTimeStamp& reference);
    // An entry NextOccurrence can place: weekday 0-7 and a time of day in range.
    bool IsScheduleEntry() const;
    static DateTimeStamp MakeWeeklyTime(BYTE weekday, BYTE pm, BYTE hour, BYTE minute);
    static DateTimeStamp MakeMonthlyTime(BYTE day, BYTE pm, BYTE hour, BYTE minute);

    // --- texts (date_text.cpp)
    std::string LongText() const;      // Sun Jan 5, 2003 9:07:03 AM
    std::string ShortText() const;     // 01/05/03 9:07 AM
    std::string DurationText() const;  // 2 days, 1 hour, 5 seconds
    std::string ScheduleText() const;  // Mondays at 9:05 PM

    // --- file times (date_file_time.cpp)
    bool ToFileTime(FILETIME* fileTime) const;
    void FromFileTime(const FILETIME& fileTime, bool toLocal);

private:
    struct ZeroTag {};
    explicit DateTimeStamp(ZeroTag) { Reset(); }
};
