// The machine that nmshell and nmsettings run on when they run on their own (no shared
// machine in HOSTWIN_MACHINE): a typical desktop of the product's day, with
// the default settings (an empty registry).
#include <cstdlib>

#include "hostwin/machine.h"
#include "shellhost/host_drives.h"

namespace {

struct DefaultMachine {
    static constexpr char kLetters[] = "CDEFA";

    DefaultMachine() {
        const char* shared = std::getenv("HOSTWIN_MACHINE");
        if (shared != nullptr && *shared != '\0')
            return;
        AddHostDrives({
            {'C', DRIVE_FIXED, 6ull << 30, 40ull << 30, "SYSTEM"},
            {'D', DRIVE_FIXED, 25ull << 30, 80ull << 30, "DATA"},
            {'E', DRIVE_CDROM, 0, 650ull << 20, "CDROM"},
            {'F', DRIVE_REMOTE, 100ull << 30, 500ull << 30, "SHARE"},
            {'A', DRIVE_REMOVABLE, 1457664, 1457664},
        });
        owned = true;
    }
    // The drives' folders are temporary; they go with the program.
    ~DefaultMachine() {
        if (owned)
            for (const char* l = kLetters; *l != '\0'; ++l)
                hostwin::Machine::RemoveDrive(*l);
    }

    bool owned = false;
};

const DefaultMachine g_machine;

}  // namespace
