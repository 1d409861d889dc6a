#include "shellhost/host_drives.h"
#include "support/system_drive.h"

namespace nmtest {

void EnsureSystemDrive() {
    if (GetDriveTypeA("C:\\") != DRIVE_FIXED)
        AddHostDrives({{'C', DRIVE_FIXED, 1ull << 30, 4ull << 30}});
}

}  // namespace nmtest
