// Schedule entries: a weekday (7 for every day) and a time of day.
#include "datetime/date_time_stamp.h"

bool DateTimeStamp::IsScheduleEntry() const {
    return weekday <= 7 && pm <= 1 && hour >= 1 && hour <= 12 && minute <= 59;
}

DateTimeStamp DateTimeStamp::NextOccurrence(const DateTimeStamp& entry, const DateTimeStamp& reference) {
    // An entry with a field out of range names no moment: the zero stamp.
    if (!entry.IsScheduleEntry())
        return Zero();
    DateTimeStamp next = reference;
    if (entry.weekday != 7)
        for (int step = 0; step < 7 && next.weekday != entry.weekday; ++step)
            next.AddDays(1);  // the first step brings any weekday into 0-6
    next.pm = entry.pm;
    next.hour = entry.hour;
    next.minute = entry.minute;
    next.second = 0;
    // Only an entry on the reference's own date can lie before it, and one
    // period on is then after it.
    if (reference.IsLaterThan(next))
        next.AddDays(entry.weekday == 7 ? 1 : 7);
    return next;
}

DateTimeStamp DateTimeStamp::MakeWeeklyTime(BYTE weekday, BYTE pm, BYTE hour, BYTE minute) {
    DateTimeStamp s = Zero();
    s.weekday = weekday;
    s.pm = pm;
    s.hour = hour;
    s.minute = minute;
    return s;
}

DateTimeStamp DateTimeStamp::MakeMonthlyTime(BYTE day, BYTE pm, BYTE hour, BYTE minute) {
    DateTimeStamp s = Zero();
    s.day = day;
    s.pm = pm;
    s.hour = hour;
    s.minute = minute;
    return s;
}
