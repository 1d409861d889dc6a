// hostwin internals: the machine's process table, read by the tool-help
// snapshot and the process-status calls (process_table.cpp).
#pragma once

#include <string>
#include <vector>

#include "base.h"

namespace hostwin::detail {

struct ProcessEntry {
    DWORD id = 0;
    DWORD parentId = 0;
    std::string exeName;  // "name.exe", no folder
    bool opens = true;    // false: OpenProcess is refused
};

// This process, the processes it started that still run, then the entries
// that the control panel added, each group in the order it arrived.
std::vector<ProcessEntry> ProcessList();
bool FindProcess(DWORD id, ProcessEntry* entry);

// CreateProcessA's part (processes.cpp).
void ProcessStarted(DWORD id, const std::string& exeName);
void ProcessEnded(DWORD id);

void ResetProcessTable();  // Machine::Reset's part: the added entries go

}  // namespace hostwin::detail
