// hostwin: the C runtime's file calls that the library makes on Windows
// paths.  They reach the simulated drives through the Win32 calls, and fail
// as the Windows C runtime does: errno EACCES for a file that is read-only
// or held open by someone who does not share it, ENOENT for a missing one.
#pragma once

#include <cstdio>

#include "base.h"

// _fsopen's share flags; fopen is _fsopen with _SH_DENYNO.
#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

// DeleteFileA, with its failures as errno; 0 or -1.
int _unlink(const char* filename);
// Modes "r", "w", "a", each with an optional "+" and "b" or "t".  The stream
// holds a Win32 file handle, released by fclose.
FILE* _fsopen(const char* filename, const char* mode, int shflag);
