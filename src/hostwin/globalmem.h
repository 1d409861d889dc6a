// hostwin: global memory blocks, the storage of clipboard-style data such as
// a dropped-file list.
#pragma once

#include "base.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID WINAPI GlobalLock(HGLOBAL mem);
BOOL WINAPI GlobalUnlock(HGLOBAL mem);
SIZE_T WINAPI GlobalSize(HGLOBAL mem);
HGLOBAL WINAPI GlobalFree(HGLOBAL mem);  // null on success, the handle on failure
