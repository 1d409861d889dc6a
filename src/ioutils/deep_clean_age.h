// Whether the drives that the settings keep records for are due for a deep
// clean.
#pragma once

#include "platform/win32.h"

// True when the earliest recorded deep clean is at least `days` whole days
// old, or when there is none that can be trusted (*age is then 0).  *age is
// the earliest deep clean's age in days when that is known and due, else 0.
bool IsDeepCleanOverdue(LONG days, DWORD* age);
