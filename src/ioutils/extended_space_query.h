// GetDiskFreeSpaceExA looked up in Kernel32.dll at run time: it exists only
// from Windows 95 OSR2 on, and the library must still load where it is
// missing.
#pragma once

#include "platform/win32.h"

enum class ExtendedSpaceResult {
    kOk,
    kNoKernel,        // Kernel32.dll could not be loaded; the "DLL Error" box was shown
    kNoExtendedCall,  // the export is missing
    kCallFailed,      // the call failed; `error` holds its last error
};

struct ExtendedSpace {
    ULONGLONG freeToCaller = 0;
    ULONGLONG total = 0;
    DWORD error = 0;
};

ExtendedSpaceResult QueryExtendedSpace(const char* root, ExtendedSpace* space);
