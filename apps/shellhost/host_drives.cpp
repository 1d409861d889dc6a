#include "shellhost/host_drives.h"

#include "hostwin/machine.h"

void AddHostDrives(const std::vector<HostDrive>& drives) {
    for (const HostDrive& d : drives) {
        hostwin::Machine::DriveSetup setup;
        setup.letter = d.letter;
        setup.type = d.type;
        setup.label = d.label;
        setup.freeBytes = d.freeBytes;
        setup.totalBytes = d.totalBytes;
        hostwin::Machine::AddDrive(setup);
    }
    hostwin::Machine::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
}
