// The executable names of the running processes, so that the product can
// tell whether a program runs.
#pragma once

#include <string>
#include <vector>

// Appends one base name ("name.exe") per process, in the system's order;
// the list is not cleared first.  Windows NT 4 is asked through the process
// status library, every other version through the tool-help snapshot, both
// looked up at run time so that the library loads everywhere.
void ListRunningProcesses(std::vector<std::string>& names);
