// hostwin internals: the clock as the control panel sets it.
#pragma once

#include "clock.h"

namespace hostwin::detail {

LONGLONG NowUtcTicks();  // FILETIME ticks (100 ns since 1601), UTC
void SetClockUtcTicks(LONGLONG ticks, bool frozen);
void ResetClock();  // back to the host's clock
void AdvanceClock(LONGLONG milliseconds);
void SetUtcBiasMinutes(LONGLONG bias);
LONGLONG UtcBiasMinutes();
void SetVirtualSleep(bool on);
bool VirtualSleep();
LONGLONG VirtualSleptMs();
bool TicksToSystemTime(LONGLONG ticks, SYSTEMTIME* st);
bool SystemTimeToTicks(const SYSTEMTIME& st, LONGLONG* ticks);

}  // namespace hostwin::detail
