// The machine's time zone: a bias, a standard and a daylight bias, and which
// of the three answers GetTimeZoneInformation gives (no zone rules, standard
// time, daylight time).  The bias in force moves the local clock.
#include "timezone.h"

#include <mutex>

#include "clock_state.h"
#include "errors.h"
#include "machine.h"

namespace hostwin::detail {
namespace {

struct Zone {
    LONG bias = 0;
    LONG standardBias = 0;
    LONG daylightBias = 0;
    DWORD answer = TIME_ZONE_ID_UNKNOWN;
};

std::mutex g_zoneMutex;
Zone g_zone;

void CopyName(WCHAR (&to)[32], const char* from) {
    int i = 0;
    for (; from[i] != '\0' && i < 31; ++i)
        to[i] = static_cast<WCHAR>(from[i]);
    to[i] = 0;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

void hostwin::Machine::SetTimeZone(LONG bias, LONG standardBias, LONG daylightBias, DWORD answer) {
    std::lock_guard lock(g_zoneMutex);
    g_zone = Zone{bias, standardBias, daylightBias, answer};
    const LONG inForce = answer == TIME_ZONE_ID_STANDARD   ? standardBias
                         : answer == TIME_ZONE_ID_DAYLIGHT ? daylightBias
                                                           : 0;
    detail::SetUtcBiasMinutes(LONGLONG{bias} + inForce);
}

DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
    if (lpTimeZoneInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    std::lock_guard lock(g_zoneMutex);
    TIME_ZONE_INFORMATION& info = *lpTimeZoneInformation;
    info = TIME_ZONE_INFORMATION{};
    info.Bias = g_zone.bias;
    info.StandardBias = g_zone.standardBias;
    info.DaylightBias = g_zone.daylightBias;
    CopyName(info.StandardName, "Machine Standard Time");
    CopyName(info.DaylightName, "Machine Daylight Time");
    return g_zone.answer;
}
