// The requests that the command handlers ask SendShellRequest for.  Each code
// is also the operation code that goes out.
#pragma once

#include "messaging/transfer_data.h"

using ShellCommandCode = BYTE;
enum : ShellCommandCode {
    ShellRequestVuz = ZOVU_RUN_VUZ,               // VUZ on a local disk, to the watcher
    ShellRequestConfiguration = ZOVU_RUN_NMBASE,  // to the tray component
    ShellRequestScan = ZOVU_RUN_NULLSCAN,         // to the tray component
    ShellRequestClean = ZOVU_RUN_NMAGENT,         // deep or quick clean, to the watcher
};

// The VUZ program, started from the installation directory.
inline constexpr char kVuzProgramName[] = "nmzap4.exe";
