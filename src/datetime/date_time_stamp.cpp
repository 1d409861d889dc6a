#include "datetime/date_time_stamp.h"

DateTimeStamp::DateTimeStamp() { SetToNow(); }

DateTimeStamp DateTimeStamp::Zero() { return DateTimeStamp(ZeroTag{}); }

DateTimeStamp DateTimeStamp::FromSystemTime(const SYSTEMTIME& local) {
    DateTimeStamp s = Zero();
    s.year = local.wYear;
    s.month = static_cast<BYTE>(local.wMonth - 1);
    s.day = static_cast<BYTE>(local.wDay);
    s.weekday = static_cast<BYTE>(local.wDayOfWeek);
    s.pm = local.wHour >= 12 ? 1 : 0;
    const WORD hour12 = local.wHour >= 12 ? local.wHour - 12 : local.wHour;
    s.hour = static_cast<BYTE>(hour12 == 0 ? 12 : hour12);
    s.minute = static_cast<BYTE>(local.wMinute);
    s.second = static_cast<BYTE>(local.wSecond);
    s.extra = 0;
    return s;
}

void DateTimeStamp::SetToNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    *this = FromSystemTime(now);
}

void DateTimeStamp::Reset() {
    year = 2000;
    month = day = weekday = pm = hour = minute = second = extra = 0;
}

PackedStamp DateTimeStamp::Pack() const {
    if (year < 2000 || year > 2255)
        return 0;
    const BYTE hourByte = static_cast<BYTE>((hour & 0x7F) | (pm != 0 ? 0x80 : 0));
    const BYTE bytes[8] = {static_cast<BYTE>(year - 2000), month, day, weekday, hourByte, minute, second, extra};
    PackedStamp packed = 0;
    for (BYTE b : bytes)
        packed = packed << 8 | b;
    return packed;
}

DateTimeStamp DateTimeStamp::Unpack(PackedStamp packed) {
    DateTimeStamp s = Zero();
    s.year = static_cast<WORD>(2000 + (packed >> 56 & 0xFF));
    s.month = static_cast<BYTE>(packed >> 48);
    s.day = static_cast<BYTE>(packed >> 40);
    s.weekday = static_cast<BYTE>(packed >> 32);
    const BYTE hourByte = static_cast<BYTE>(packed >> 24);
    s.hour = hourByte & 0x7F;
    s.pm = hourByte >> 7;
    s.minute = static_cast<BYTE>(packed >> 16);
    s.second = static_cast<BYTE>(packed >> 8);
    s.extra = static_cast<BYTE>(packed);
    return s;
}

bool DateTimeStamp::operator==(const DateTimeStamp& o) const {
    return year == o.year && month == o.month && day == o.day && weekday == o.weekday && pm == o.pm &&
           hour == o.hour && minute == o.minute && second == o.second && extra == o.extra;
}
