// What nmsettings does, apart from reading its command line.
#pragma once

#include <ostream>
#include <string>

// Every stored setting as "NAME = TEXT" ("(missing)" when not stored), then
// the next run, whether a deep clean is due, the earliest deep clean, whether
// it is overdue by `overdueDays` and whether an update check is due.  Writes
// nothing to the registry.
void ShowSettings(std::ostream& out, int overdueDays);

// Sets one value from its text and saves it; prints the saved text and the
// registry status.  Returns the exit status: 0, 1 when the registry refused
// the write, 2 when NAME or VALUE cannot be taken (*error then says why).
int SetSetting(const std::string& name, const std::string& value, std::ostream& out, std::string* error);
