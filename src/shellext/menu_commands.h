// The five commands of the "Nullmark" submenu, in command-offset order (the
// offset is the item's identifier minus the shell's idCmdFirst, and is what
// InvokeCommand receives).  This one table gives the menu its labels, the
// help texts and the graying rules; the command handlers hang off the same
// offsets.
#pragma once

#include "platform/win32.h"

// Menu-state flags computed for a selection.
enum MenuStateFlag : DWORD {
    MenuVuzUnavailable = 1,
    MenuCleanUnavailable = 2,
    MenuScanUnavailable = 4,
    MenuConfigUnavailable = 8,
    MenuDriveRoots = 16,  // the first selected item is a drive root
};

enum MenuCommandOffset : UINT {
    CommandVuz = 0,
    CommandDeepClean = 1,
    CommandQuickClean = 2,
    CommandScan = 3,
    CommandConfiguration = 4,
};

struct MenuCommand {
    const char* label;
    DWORD grayedBy;           // the menu-state flag that makes it unavailable
    bool separatorBefore;     // the submenu's groups: VUZ | cleans and scan | configuration
    bool takesDriveSuffix;    // the label names the selected drive(s)
    const char* helpAnsi;     // for the Windows 95/98/Me shell
    const char16_t* helpUtf16;  // for the NT family; the scan text is worded differently
};

inline constexpr char kSubmenuTitle[] = "Nullmark";

inline constexpr MenuCommand kMenuCommands[] = {
    {"VUZ Selected File(s)", MenuVuzUnavailable, false, false, "VUZ selected file(s)", u"VUZ selected file(s)"},
    {"Deep Clean Drive", MenuCleanUnavailable, true, true, "Deep Clean the selected drive",
     u"Deep Clean the selected drive"},
    {"Quick Clean Drive", MenuCleanUnavailable, false, true, "Quick clean the selected drive",
     u"Quick clean the selected drive"},
    {"Scan Drives for Deleted Data", MenuScanUnavailable, false, false, "Scan drives for deleted data",
     u"Scan selected drive for deleted data"},
    {"Nullmark Configuration", MenuConfigUnavailable, true, false, "Nullmark 4.0 configuration settings",
     u"Nullmark 4.0 configuration settings"},
};

inline constexpr UINT kMenuCommandCount = sizeof(kMenuCommands) / sizeof(kMenuCommands[0]);
static_assert(kMenuCommandCount == 5);
