// The machine that nmshell and nmsettings run on when they run on their own (no shared
// machine in HOSTWIN_MACHINE): a typical desktop of the product's day, with
// the default settings (an empty registry).
#include <cstdlib>

#include "hostwin/hostwin.h"
#include "hostwin/machine.h"

namespace {

struct DefaultMachine {
    static constexpr char kLetters[] = "CDEFA";

    DefaultMachine() {
        const char* shared = std::getenv("HOSTWIN_MACHINE");
        if (shared != nullptr && *shared != '\0')
            return;
        struct Drive {
            char letter;
            UINT type;
            const char* label;
            ULONGLONG freeBytes, totalBytes;
        };
        const Drive drives[] = {
            {'C', DRIVE_FIXED, "SYSTEM", 6ull << 30, 40ull << 30},
            {'D', DRIVE_FIXED, "DATA", 25ull << 30, 80ull << 30},
            {'E', DRIVE_CDROM, "CDROM", 0, 650ull << 20},
            {'F', DRIVE_REMOTE, "SHARE", 100ull << 30, 500ull << 30},
            {'A', DRIVE_REMOVABLE, "", 1457664, 1457664},
        };
        for (const Drive& d : drives) {
            hostwin::Machine::DriveSetup setup;
            setup.letter = d.letter;
            setup.type = d.type;
            setup.label = d.label;
            setup.freeBytes = d.freeBytes;
            setup.totalBytes = d.totalBytes;
            hostwin::Machine::AddDrive(setup);
        }
        hostwin::Machine::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
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
