#include "hostwin/hostwin.h"
#include "hostwin/machine.h"
#include "support/system_drive.h"

namespace nmtest {

void EnsureSystemDrive() {
    if (GetDriveTypeA("C:\\") == DRIVE_FIXED)
        return;
    hostwin::Machine::DriveSetup c;
    c.letter = 'C';
    c.type = DRIVE_FIXED;
    c.freeBytes = 1ull << 30;
    c.totalBytes = 4ull << 30;
    hostwin::Machine::AddDrive(c);
    hostwin::Machine::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
}

}  // namespace nmtest
