// The host's scratch drive: a fixed drive T: in a temporary folder, made again
// whenever a test has reset the machine.
#include "hostwin/machine.h"
#include "support/scratch_folder.h"

namespace nmtest {

std::string ScratchParent() {
    if (GetDriveTypeA("T:\\") != DRIVE_FIXED) {
        hostwin::Machine::DriveSetup t;
        t.letter = 'T';
        t.freeBytes = 1ull << 30;
        t.totalBytes = 4ull << 30;
        hostwin::Machine::AddDrive(t);
    }
    return "T:\\";
}

}  // namespace nmtest
