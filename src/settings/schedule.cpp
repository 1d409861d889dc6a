// The next scheduled run ("ENST"), derived from the interval ("DCU" set:
// "DCSI" holds the interval in days in its day field and the time of the run)
// or from the list of weekly or daily times ("DCSL").  A non-zero "ELCC" asks
// for a next run that has already passed to be moved on to the following one.
//
// A schedule time with a field out of range names no moment: list entries of
// that kind are skipped, and an interval whose time of day is out of range
// gives no next run (the zero stamp).
#include "settings/product_settings.h"

namespace {

void TakeTimeOfDay(DateTimeStamp* s, const DateTimeStamp& from) {
    s->pm = from.pm;
    s->hour = from.hour;
    s->minute = from.minute;
    s->second = from.second;
}

bool HasTimeOfDay(const DateTimeStamp& s) {
    return s.pm <= 1 && s.hour >= 1 && s.hour <= 12 && s.minute <= 59 && s.second <= 59;
}

}  // namespace

void ProductSettings::UpdateNextScheduledTime(bool advance) { RecomputeNextRun(advance, true); }

DateTimeStamp ProductSettings::NextScheduledTime(bool advance) const {
    ProductSettings copy = *this;
    copy.RecomputeNextRun(advance, false);
    return copy.enstStamp;
}

void ProductSettings::RecomputeNextRun(bool advance, bool save) {
    LoadSetting(SettingId::ENST);
    LoadSetting(SettingId::ELCC);
    const bool intervalMode = GetDcu();
    LoadSetting(intervalMode ? SettingId::DCSI : SettingId::DCSL);

    if (elcc != 0) {
        const DateTimeStamp now;
        if (!enstStamp.IsValidStamp() || enstStamp.IsLaterThan(now)) {
            ClearElccAndRecompute(save);
        } else {
            // The run was missed: move it on by one step.
            if (intervalMode)
                enstStamp.AddDays(1);
            else
                NextRunFromList(true);
            elcc = 0;
            if (save)
                SaveSetting(SettingId::ELCC);
        }
    } else if (intervalMode) {
        NextRunFromInterval(advance);
    } else {
        NextRunFromList(advance);
    }
    if (save)
        SaveSetting(SettingId::ENST);
}

// "ELCC" goes back to 0 and the next run is computed afresh.  The stored
// "ELCC" is not read again: had the write failed, reading the old value back
// would start the same step over without end.
void ProductSettings::ClearElccAndRecompute(bool save) {
    elcc = 0;
    if (save)
        SaveSetting(SettingId::ELCC);
    LoadSetting(SettingId::ENST);
    const bool intervalMode = GetDcu();
    LoadSetting(intervalMode ? SettingId::DCSI : SettingId::DCSL);
    if (intervalMode)
        NextRunFromInterval(false);
    else
        NextRunFromList(false);
}

void ProductSettings::NextRunFromInterval(bool advance) {
    if (!HasTimeOfDay(dcsiStamp)) {
        enstStamp.Reset();
        return;
    }
    const DateTimeStamp now;
    enstStamp = now;
    if (advance) {
        TakeTimeOfDay(&enstStamp, dcsiStamp);
        // Today's run time or tomorrow's: one day on is always enough.
        if (now.IsLaterThan(enstStamp))
            enstStamp.AddDays(1);
        return;
    }
    // Today counts as the first day of the interval while its run time is
    // still ahead (the fields compared one by one, as the product always has).
    const bool todayStillAhead = dcsiStamp.pm >= now.pm && dcsiStamp.hour >= now.hour && dcsiStamp.minute > now.minute;
    enstStamp.AddDays(todayStillAhead ? dcsiStamp.day - 1 : dcsiStamp.day);
    TakeTimeOfDay(&enstStamp, dcsiStamp);
}

void ProductSettings::NextRunFromList(bool advance) {
    DateTimeStamp reference;
    reference.second = 59;
    bool found = false;
    if (advance && HasTimeOfDay(enstStamp)) {
        // Start from today (or tomorrow) at the current next run's time; any
        // listed time that comes earlier replaces it.
        DateTimeStamp candidate;
        TakeTimeOfDay(&candidate, enstStamp);
        if (reference.IsLaterThan(candidate))
            candidate.AddDays(1);
        enstStamp = candidate;
        found = true;
    }
    for (const DateTimeStamp& entry : scheduleTimes) {
        if (!entry.IsScheduleEntry())
            continue;
        const DateTimeStamp next = DateTimeStamp::NextOccurrence(entry, reference);
        if (!found || enstStamp.IsLaterThan(next)) {
            enstStamp = next;
            found = true;
        }
    }
    if (!found)
        enstStamp.Reset();  // nothing scheduled
}
