// Stamps to and from the system's file time.
#include "datetime/date_time_stamp.h"

static_assert(sizeof(SYSTEMTIME) == 16, "the system time is eight 16-bit fields");
static_assert(sizeof(FILETIME) == 8, "a file time is two 32-bit halves");
static_assert(sizeof(TIME_ZONE_INFORMATION) == 172, "GetTimeZoneInformation fills a 172-byte record");

bool DateTimeStamp::ToFileTime(FILETIME* fileTime) const {
    // The stamp's own fields, no time-zone step: a local stamp gives a local file time.
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = static_cast<WORD>(month + 1);
    st.wDayOfWeek = weekday;
    st.wDay = day;
    st.wHour = static_cast<WORD>(HourOfDay());
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = 0;
    return SystemTimeToFileTime(&st, fileTime) != FALSE;
}

void DateTimeStamp::FromFileTime(const FILETIME& fileTime, bool toLocal) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&fileTime, &st)) {
        Reset();
        return;
    }
    *this = FromSystemTime(st);
    second = 0;  // stamps made from file times keep the minute only
    if (!toLocal)
        return;
    TIME_ZONE_INFORMATION zone;
    switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD: AddMinutes(-zone.Bias); break;
    case TIME_ZONE_ID_DAYLIGHT: AddMinutes(-(zone.Bias + zone.DaylightBias)); break;
    default: break;  // no zone known: the time stays as it is
    }
}
