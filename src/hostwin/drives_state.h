// hostwin internals: the drive table and the current directory, as the file
// area (disk_files.cpp) and the control panel read them.
#pragma once

#include <string>

#include "base.h"

namespace hostwin::detail {

struct DriveInfo {
    char letter = 0;  // upper case
    UINT type = 0;
    std::string hostFolder;
    bool shortNames = true;
    DWORD serial = 0;  // the volume's serial number
};

// The drive of a letter (either case); false when there is none.
bool FindDrive(char letter, DriveInfo* drive);

// "C:\dir" as last set (case as given, no trailing backslash except at a root).
std::string CurrentDirectory();
void StoreCurrentDirectory(const std::string& path);

// Machine::Reset's part: no drives, the default directories, and the
// built-in system modules with all their exports.
void ResetDrives();
// A shared machine's "drives", "cwd" and "sysdir" lines (machine.cpp).
void ApplyDriveSetting(const std::string& key, const std::string& value);

}  // namespace hostwin::detail
