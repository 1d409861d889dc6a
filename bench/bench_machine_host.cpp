#include "bench_machine.h"

#include <cstdlib>

#include "hostwin/hostwin.h"
#include "hostwin/machine.h"

namespace nmbench {

void PrepareMachine() {
    hostwin::Machine::Reset();
    for (const char* d = kFixedDrives; *d != '\0'; ++d) {
        hostwin::Machine::DriveSetup setup;
        setup.letter = *d;
        setup.type = DRIVE_FIXED;
        setup.freeBytes = 10ull << 30;
        setup.totalBytes = 40ull << 30;
        hostwin::Machine::AddDrive(setup);
    }
    hostwin::Machine::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
}

bool RemoveTreeNatively(const std::string& folder) {
    const std::string host = hostwin::Machine::HostPath(folder);
    return !host.empty() && std::system(("rm -rf '" + host + "'").c_str()) == 0;
}

}  // namespace nmbench
