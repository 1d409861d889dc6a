// nmmachine — sets up a shared simulated machine (HOSTWIN_MACHINE) from a
// script, through the control panel: the programs started on that machine
// afterwards see its drives and registry.
//
//   nmmachine drive LETTER TYPE HOSTFOLDER [LABEL]
//   nmmachine import FILE.reg
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "platform/win32.h"

namespace {

int Usage() {
    std::fputs(
        "usage: HOSTWIN_MACHINE=FOLDER nmmachine drive LETTER TYPE HOSTFOLDER [LABEL]\n"
        "       HOSTWIN_MACHINE=FOLDER nmmachine import FILE.reg\n"
        "  TYPE: removable, fixed, remote, cdrom or ramdisk\n",
        stderr);
    return 2;
}

bool DriveType(const std::string& name, UINT* type) {
    const std::pair<const char*, UINT> kTypes[] = {{"removable", DRIVE_REMOVABLE},
                                                   {"fixed", DRIVE_FIXED},
                                                   {"remote", DRIVE_REMOTE},
                                                   {"cdrom", DRIVE_CDROM},
                                                   {"ramdisk", DRIVE_RAMDISK}};
    for (const auto& [n, t] : kTypes)
        if (name == n) {
            *type = t;
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const char* folder = std::getenv("HOSTWIN_MACHINE");
    if (folder == nullptr || *folder == '\0' || args.empty())
        return Usage();
    // No Attach: the machine's saved settings are read on first use from
    // HOSTWIN_MACHINE, so that each call adds to what earlier calls set up.

    if (args[0] == "drive" && (args.size() == 4 || args.size() == 5) && args[1].size() == 1) {
        hostwin::Machine::DriveSetup drive;
        drive.letter = args[1][0];
        if (!DriveType(args[2], &drive.type))
            return Usage();
        drive.hostFolder = args[3];
        if (args.size() == 5)
            drive.label = args[4];
        hostwin::Machine::AddDrive(drive);
        return 0;
    }
    if (args[0] == "import" && args.size() == 2) {
        std::ifstream in(args[1], std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!in || !hostwin::Machine::ImportRegistry(text.str(), &error)) {
            std::fprintf(stderr, "nmmachine: %s: %s\n", args[1].c_str(), in ? error.c_str() : "cannot read");
            return 1;
        }
        return 0;
    }
    return Usage();
}
