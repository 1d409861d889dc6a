// hostwin: the dropped-file list (CF_HDROP) and its reader.
#pragma once

#include "base.h"

struct POINT {
    LONG x;
    LONG y;
};

struct DROPFILES {
    DWORD pFiles;  // offset of the file list from the start of this structure
    POINT pt;
    BOOL fNC;
    BOOL fWide;
};
using LPDROPFILES = DROPFILES*;

// iFile 0xFFFFFFFF: the number of files.  A null buffer: the length of the
// name, without its terminator.  Otherwise the name is copied, cut to cch - 1
// characters and terminated, and the number of characters copied is returned.
UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch);
