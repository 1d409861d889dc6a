// The product's calendar and the moves with carries.  Dates are handled as a
// running day count from 1 January of year 0, so that a move by any number of
// days, months or years costs the same few steps and no loop depends on the
// size of the move.
#include <algorithm>

#include "datetime/date_time_stamp.h"

namespace {

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr LONGLONG kLastYear = 0xFFFF;  // the year field is 16 bits

LONGLONG FloorDiv(LONGLONG a, LONGLONG b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
LONGLONG FloorMod(LONGLONG a, LONGLONG b) { return a - FloorDiv(a, b) * b; }

bool IsLeap(LONGLONG year) { return FloorMod(year, 4) == 0; }  // no century rule, on purpose

LONGLONG DaysBeforeYear(LONGLONG year) { return 365 * year + FloorDiv(year + 3, 4); }

// Day 1 is 1 January of year 0.  A month above 11 carries into the year and
// the day may lie outside its month: the count simply runs on.
LONGLONG RunningDay(LONGLONG year, LONGLONG month, LONGLONG day) {
    year += FloorDiv(month, 12);
    month = FloorMod(month, 12);
    return DaysBeforeYear(year) + kDaysBeforeMonth[month] + (IsLeap(year) && month >= 2 ? 1 : 0) + day;
}

LONGLONG RunningDay(const DateTimeStamp& s) { return RunningDay(s.year, s.month, s.day); }

const LONGLONG kFirstDay = RunningDay(0, 0, 1);
const LONGLONG kLastDay = RunningDay(kLastYear, 11, 31);

void SetDate(DateTimeStamp* s, LONGLONG running) {
    LONGLONG rest = running - 1;
    LONGLONG year = 4 * FloorDiv(rest, 1461);
    rest = FloorMod(rest, 1461);
    if (rest >= 366) {  // the first year of each four is the leap year
        year += 1 + (rest - 366) / 365;
        rest = (rest - 366) % 365;
    }
    int month = 11;
    while (month > 0 && rest < kDaysBeforeMonth[month] + (IsLeap(year) && month >= 2 ? 1 : 0))
        --month;
    rest -= kDaysBeforeMonth[month] + (IsLeap(year) && month >= 2 ? 1 : 0);
    s->year = static_cast<WORD>(year);
    s->month = static_cast<BYTE>(month);
    s->day = static_cast<BYTE>(rest + 1);
}

void MoveWeekday(DateTimeStamp* s, LONGLONG days) { s->weekday = static_cast<BYTE>(FloorMod(s->weekday + days, 7)); }

}  // namespace

int DateTimeStamp::DaysInMonth(int month, int year) {
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int m = static_cast<int>(FloorMod(month, 12));
    return m == 1 && IsLeap(year) ? 29 : kLengths[m];
}

int DateTimeStamp::DaysInYear(int year) { return IsLeap(year) ? 366 : 365; }

LONG DateTimeStamp::DayNumber() const { return static_cast<LONG>(RunningDay(*this) - DaysBeforeYear(2000)); }

void DateTimeStamp::AddSeconds(LONG n) {
    const LONGLONG total = LONGLONG{second} + n;
    second = static_cast<BYTE>(FloorMod(total, 60));
    if (const LONGLONG carry = FloorDiv(total, 60); carry != 0)
        AddMinutes(static_cast<LONG>(carry));
}

void DateTimeStamp::AddMinutes(LONG n) {
    const LONGLONG total = LONGLONG{minute} + n;
    minute = static_cast<BYTE>(FloorMod(total, 60));
    if (const LONGLONG carry = FloorDiv(total, 60); carry != 0)
        AddHours(static_cast<LONG>(carry));
}

void DateTimeStamp::AddHours(LONG n) {
    const LONGLONG total = LONGLONG{HourOfDay()} + n;
    const int hourOfDay = static_cast<int>(FloorMod(total, 24));
    pm = hourOfDay >= 12 ? 1 : 0;
    hour = static_cast<BYTE>(hourOfDay % 12 == 0 ? 12 : hourOfDay % 12);
    if (const LONGLONG carry = FloorDiv(total, 24); carry != 0)
        AddDays(static_cast<LONG>(carry));
}

void DateTimeStamp::AddDays(LONG n) {
    // A move past the 16-bit year range stops at the range's first or last day.
    MoveWeekday(this, n);
    SetDate(this, std::clamp(RunningDay(*this) + n, kFirstDay, kLastDay));
}

void DateTimeStamp::AddMonths(LONG n) {
    LONGLONG left = n;
    // A day above 28 may be cut to a shorter month's last day, so those move
    // one month at a time; within a few dozen months the day is at most 28.
    while (left != 0 && (day < 1 || day > 28)) {
        if (left > 0) {
            const int length = DaysInMonth(month, year);
            const int next = DaysInMonth(month + 1, month == 11 ? year + 1 : year);
            AddDays(day > next ? next + length - day : length);
            --left;
        } else {
            const int previous = DaysInMonth(month + 11, month == 0 ? year - 1 : year);
            AddDays(-std::max<int>(previous, day));
            ++left;
        }
    }
    if (left == 0)
        return;
    // Days 1-28 exist in every month: the rest is the same day so many months on.
    const LONGLONG target = std::clamp(RunningDay(year, LONGLONG{month} + left, day), kFirstDay, kLastDay);
    AddDays(static_cast<LONG>(target - RunningDay(*this)));
}

void DateTimeStamp::AddYears(LONG n) {
    LONGLONG left = n;
    if (left != 0 && month == 1 && day == 29) {
        // 29 February lands on 28 February of the next (or previous) year.
        const bool forward = left > 0;
        MoveWeekday(this, forward ? 365 : -366);
        year = static_cast<WORD>(std::clamp<LONGLONG>(LONGLONG{year} + (forward ? 1 : -1), 0, kLastYear));
        day = 28;
        left += forward ? -1 : 1;
    }
    // Each year crossed moves the weekday by the length of the year that the
    // date passes through, which is the running-day difference.
    const LONGLONG target = std::clamp<LONGLONG>(LONGLONG{year} + left, 0, kLastYear);
    MoveWeekday(this, RunningDay(target, month, day) - RunningDay(*this));
    year = static_cast<WORD>(target);
}
