// The machine's clock is the host's clock moved by an offset, or a frozen
// instant.  Sleep really sleeps unless the machine runs on virtual time; then
// it moves the clock instead, so that retry loops cost no real seconds.
#include "clock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "clock_state.h"
#include "errors.h"

namespace hostwin::detail {
namespace {

constexpr LONGLONG kTicksPerMs = 10'000;                // FILETIME ticks
constexpr LONGLONG kUnixEpochTicks = 116444736000000000;  // 1970-01-01 as a FILETIME

struct ClockState {
    std::mutex mutex;
    bool frozen = false;
    LONGLONG frozenTicks = 0;   // UTC FILETIME ticks while frozen
    LONGLONG offsetTicks = 0;   // added to the host clock while running
    LONGLONG utcBiasMinutes = 0;  // local = UTC - bias, as in TIME_ZONE_INFORMATION
    bool virtualSleep = false;
    LONGLONG virtualSleptMs = 0;
};

ClockState& State() {
    static ClockState s;
    return s;
}

LONGLONG HostNowTicks() {
    using namespace std::chrono;
    const auto since = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return kUnixEpochTicks + since * 10;
}

// Days from 1601-01-01 for a proleptic Gregorian date.
LONGLONG DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const LONGLONG era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const LONGLONG daysFrom1970 = era * 146097 + static_cast<LONGLONG>(doe) - 719468;
    return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

void CivilFromDays(LONGLONG daysFrom1601, int* y, unsigned* m, unsigned* d) {
    const LONGLONG z = daysFrom1601 - 134774 + 719468;
    const LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int>(static_cast<LONGLONG>(yoe) + era * 400 + (*m <= 2));
}

}  // namespace

LONGLONG NowUtcTicks() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    return s.frozen ? s.frozenTicks : HostNowTicks() + s.offsetTicks;
}

void SetClockUtcTicks(LONGLONG ticks, bool frozen) {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    s.frozen = frozen;
    s.frozenTicks = ticks;
    s.offsetTicks = ticks - HostNowTicks();
}

void ResetClock() {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    s.frozen = false;
    s.frozenTicks = 0;
    s.offsetTicks = 0;
}

void AdvanceClock(LONGLONG milliseconds) {
    ClockState& s = State();
    std::lock_guard lock(s.mutex);
    s.frozenTicks += milliseconds * kTicksPerMs;
    s.offsetTicks += milliseconds * kTicksPerMs;
}

void SetUtcBiasMinutes(LONGLONG bias) {
    std::lock_guard lock(State().mutex);
    State().utcBiasMinutes = bias;
}

LONGLONG UtcBiasMinutes() {
    std::lock_guard lock(State().mutex);
    return State().utcBiasMinutes;
}

void SetVirtualSleep(bool on) {
    std::lock_guard lock(State().mutex);
    State().virtualSleep = on;
    State().virtualSleptMs = 0;
}

bool VirtualSleep() {
    std::lock_guard lock(State().mutex);
    return State().virtualSleep;
}

LONGLONG VirtualSleptMs() {
    std::lock_guard lock(State().mutex);
    return State().virtualSleptMs;
}

bool TicksToSystemTime(LONGLONG ticks, SYSTEMTIME* st) {
    if (ticks < 0)
        return false;
    const LONGLONG ms = ticks / kTicksPerMs;
    const LONGLONG days = ms / 86'400'000;
    LONGLONG rest = ms % 86'400'000;
    int y;
    unsigned m, d;
    CivilFromDays(days, &y, &m, &d);
    if (y > 30827)
        return false;
    st->wYear = static_cast<WORD>(y);
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    st->wHour = static_cast<WORD>(rest / 3'600'000);
    rest %= 3'600'000;
    st->wMinute = static_cast<WORD>(rest / 60'000);
    rest %= 60'000;
    st->wSecond = static_cast<WORD>(rest / 1000);
    st->wMilliseconds = static_cast<WORD>(rest % 1000);
    return true;
}

bool SystemTimeToTicks(const SYSTEMTIME& st, LONGLONG* ticks) {
    static constexpr unsigned kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    const bool leap = (st.wYear % 4 == 0 && st.wYear % 100 != 0) || st.wYear % 400 == 0;
    const unsigned monthDays = kDaysInMonth[st.wMonth - 1] + (st.wMonth == 2 && leap ? 1 : 0);
    if (st.wDay > monthDays)
        return false;
    const LONGLONG days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
    const LONGLONG ms = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60'000LL + st.wSecond * 1000LL + st.wMilliseconds;
    *ticks = ms * kTicksPerMs;
    return true;
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

void WINAPI GetSystemTime(LPSYSTEMTIME st) { TicksToSystemTime(NowUtcTicks(), st); }

void WINAPI GetLocalTime(LPSYSTEMTIME st) {
    TicksToSystemTime(NowUtcTicks() - UtcBiasMinutes() * 60 * 10'000'000LL, st);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
    LONGLONG ticks;
    if (st == nullptr || ft == nullptr || !SystemTimeToTicks(*st, &ticks)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ft->dwLowDateTime = static_cast<DWORD>(ticks);
    ft->dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ticks) >> 32);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
    if (ft == nullptr || st == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG ticks = (static_cast<ULONGLONG>(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
    if (ticks > 0x7FFFFFFFFFFFFFFFull || !TicksToSystemTime(static_cast<LONGLONG>(ticks), st)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetTickCount() {
    static const LONGLONG start = NowUtcTicks();
    return static_cast<DWORD>((NowUtcTicks() - start) / kTicksPerMs);
}

void WINAPI Sleep(DWORD milliseconds) {
    if (VirtualSleep()) {
        AdvanceClock(milliseconds);
        {
            std::lock_guard lock(State().mutex);
            State().virtualSleptMs += milliseconds;
        }
        // The other threads still run on the host's clock: a short real pause
        // lets them move, so that a retry loop does not spend all its
        // attempts before a server thread has so much as created its pipe.
        constexpr DWORD kRealSliceMs = 10;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds < kRealSliceMs ? milliseconds : kRealSliceMs));
        return;
    }
    if (milliseconds == 0)
        std::this_thread::yield();  // the rest of the time slice to any ready thread
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
