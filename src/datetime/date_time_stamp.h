// DateTimeStamp: a local date and time on the 12-hour clock, and its 64-bit
// packed form as the settings store it.
#pragma once

#include <cstdint>

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

private:
    struct ZeroTag {};
    explicit DateTimeStamp(ZeroTag) { Reset(); }
};
