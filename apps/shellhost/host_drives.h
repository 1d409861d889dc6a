// Drives of a simulated machine in one call (host builds only), for the
// tools, benchmarks and tests that need a desktop to run on.
#pragma once

#include <vector>

#include "platform/win32.h"

struct HostDrive {
    char letter;
    UINT type;
    ULONGLONG freeBytes;
    ULONGLONG totalBytes;
    const char* label = "";
};

// Adds the drives and puts the system directory on C:, "C:\WINDOWS\SYSTEM32".
void AddHostDrives(const std::vector<HostDrive>& drives);
