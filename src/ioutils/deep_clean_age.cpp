#include "ioutils/deep_clean_age.h"

#include "settings/product_settings.h"

bool IsDeepCleanOverdue(LONG days, DWORD* age) {
    const DateTimeStamp now;
    const DateTimeStamp earliest = GetEarliestDeepCleanedAt();
    *age = 0;
    // The zero stamp stands for no records and for a record that cannot be trusted.
    if (!earliest.IsValidStamp())
        return true;
    const LONG elapsed = now.DaysBetween(earliest);  // whole days, on the dates alone
    if (elapsed < days)
        return false;
    *age = static_cast<DWORD>(elapsed > 0 ? elapsed : 0);  // a negative limit can pass a clean in the future
    return true;
}
