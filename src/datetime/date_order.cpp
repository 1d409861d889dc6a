// The order of stamps, the validity rule and the elapsed time between two.
#include "datetime/date_time_stamp.h"

namespace {

// The fields that order two stamps, most significant first; hour 12 counts as 0.
int Compare(const DateTimeStamp& a, const DateTimeStamp& b) {
    const int keysA[] = {a.year, a.month, a.day, a.pm, a.hour == 12 ? 0 : a.hour, a.minute, a.second};
    const int keysB[] = {b.year, b.month, b.day, b.pm, b.hour == 12 ? 0 : b.hour, b.minute, b.second};
    for (size_t i = 0; i < sizeof keysA / sizeof keysA[0]; ++i)
        if (keysA[i] != keysB[i])
            return keysA[i] < keysB[i] ? -1 : 1;
    return 0;
}

}  // namespace

bool DateTimeStamp::IsLaterThan(const DateTimeStamp& other) const { return Compare(*this, other) > 0; }

bool DateTimeStamp::IsAtOrLaterThan(const DateTimeStamp& other) const { return Compare(*this, other) >= 0; }

bool DateTimeStamp::IsValidStamp() const {
    if (year < 2000 || month > 11 || day < 1 || day > 31 || weekday > 6 || pm > 1 || hour < 1 || hour > 12 ||
        minute > 59 || second > 59)
        return false;
    // Walk the earlier of this stamp and today to the later one's date by
    // whole days: the two meet only when the weekday matches the date (and a
    // later stamp's day exists in its month).
    const DateTimeStamp now;
    const bool thisIsLater = IsLaterThan(now);
    DateTimeStamp a = thisIsLater ? now : *this;
    const DateTimeStamp& b = thisIsLater ? *this : now;
    a.AddDays(b.DaysBetween(a));
    a.pm = b.pm;
    a.hour = b.hour;
    a.minute = b.minute;
    a.second = b.second;
    return a == b;
}

DateTimeStamp DateTimeStamp::Elapsed(const DateTimeStamp& earlier) const {
    int seconds = second - earlier.second;
    int borrow = seconds < 0 ? 1 : 0;
    seconds += 60 * borrow;

    int minutes = minute - earlier.minute - borrow;
    borrow = minutes < 0 ? 1 : 0;
    minutes += 60 * borrow;

    int hours = HourOfDay() - earlier.HourOfDay() - borrow;
    borrow = hours < 0 ? 1 : 0;
    hours += 24 * borrow;

    int days = day - earlier.day - borrow;
    borrow = days < 0 ? 1 : 0;
    if (borrow != 0)  // the month before this one, February always 28 days
        days += month == 0 ? 31 : DaysInMonth(month - 1, 1);

    int months = month - borrow - earlier.month;
    borrow = months < 0 ? 1 : 0;
    months += 12 * borrow;

    DateTimeStamp counts = *this;
    counts.year = static_cast<WORD>(year - borrow - earlier.year);
    counts.month = static_cast<BYTE>(months);
    counts.day = static_cast<BYTE>(days);
    counts.hour = static_cast<BYTE>(hours);
    counts.minute = static_cast<BYTE>(minutes);
    counts.second = static_cast<BYTE>(seconds);
    return counts;
}
