// The five commands of the "Nullmark" submenu, in command-offset order (the
// offset is the item's identifier minus the shell's idCmdFirst, and is what
// InvokeCommand receives).  Each row is the whole description of a command:
// the menu reads its label, graying flag and help texts, InvokeCommand runs
// its handler, and the handler sends the row's operation to the row's
// destination.  Adding a command is one row and one handler.
#pragma once

#include <string>
#include <vector>

#include "messaging/transfer_data.h"
#include "platform/win32.h"

// Menu-state flags computed for a selection.
enum MenuStateFlag : DWORD {
    MenuVuzUnavailable = 1,
    MenuCleanUnavailable = 2,
    MenuScanUnavailable = 4,
    MenuConfigUnavailable = 8,
    MenuDriveRoots = 16,  // the first selected item is a drive root
};

// What a handler works on: the extension's selection as Initialize captured
// it, and the one field a command leaves behind on the object.
struct CommandContext {
    const std::vector<std::string>& selection;
    DWORD selectionCount;
    LONG& quickClean;
    HINSTANCE module;  // handed to the messaging layer
    HWND owner;
};

struct Command;
using CommandHandler = void (*)(const Command& command, CommandContext& context);

struct Command {
    const char* label;
    DWORD grayedBy;             // the menu-state flag that makes it unavailable
    bool separatorBefore;       // the submenu's groups: VUZ | cleans and scan | configuration
    bool takesDriveSuffix;      // the label names the selected drive(s)
    const char* helpAnsi;       // for the Windows 95/98/Me shell
    const char16_t* helpUtf16;  // for the NT family; the scan text is worded differently
    CommandHandler handler;
    CallerId destination;
    TransferOperation operation;
};

void VuzSelection(const Command& command, CommandContext& context);
void DeepClean(const Command& command, CommandContext& context);
void QuickClean(const Command& command, CommandContext& context);
void ScanDrives(const Command& command, CommandContext& context);
void Configuration(const Command& command, CommandContext& context);

inline constexpr char kSubmenuTitle[] = "Nullmark";

inline constexpr Command kCommands[] = {
    {"VUZ Selected File(s)", MenuVuzUnavailable, false, false, "VUZ selected file(s)", u"VUZ selected file(s)",
     VuzSelection, NMWatch, ZOVU_RUN_VUZ},
    {"Deep Clean Drive", MenuCleanUnavailable, true, true, "Deep Clean the selected drive",
     u"Deep Clean the selected drive", DeepClean, NMWatch, ZOVU_RUN_NMAGENT},
    {"Quick Clean Drive", MenuCleanUnavailable, false, true, "Quick clean the selected drive",
     u"Quick clean the selected drive", QuickClean, NMWatch, ZOVU_RUN_NMAGENT},
    {"Scan Drives for Deleted Data", MenuScanUnavailable, false, false, "Scan drives for deleted data",
     u"Scan selected drive for deleted data", ScanDrives, NMTray, ZOVU_RUN_NULLSCAN},
    {"Nullmark Configuration", MenuConfigUnavailable, true, false, "Nullmark 4.0 configuration settings",
     u"Nullmark 4.0 configuration settings", Configuration, NMTray, ZOVU_RUN_NMBASE},
};

inline constexpr UINT kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);
static_assert(kCommandCount == 5);

// The VUZ program, started from the installation directory for items that
// do not lie on a local disk.
inline constexpr char kVuzProgramName[] = "nmzap4.exe";
