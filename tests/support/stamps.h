// Building stamps and frozen clocks in tests.
#pragma once

#include "datetime/date_time_stamp.h"

namespace nmtest {

inline DateTimeStamp Stamp(WORD year, BYTE month, BYTE day, BYTE weekday, BYTE pm, BYTE hour, BYTE minute,
                           BYTE second, BYTE extra = 0) {
    DateTimeStamp s = DateTimeStamp::Zero();
    s.year = year;
    s.month = month;
    s.day = day;
    s.weekday = weekday;
    s.pm = pm;
    s.hour = hour;
    s.minute = minute;
    s.second = second;
    s.extra = extra;
    return s;
}

// A local time as GetLocalTime gives it (month 1-12, hour 0-23).
inline SYSTEMTIME LocalTime(WORD year, WORD month, WORD day, WORD weekday, WORD hour, WORD minute, WORD second = 0) {
    return SYSTEMTIME{year, month, weekday, day, hour, minute, second, 0};
}

}  // namespace nmtest
