// hostwin: the operating-system version.
#pragma once

#include "base.h"

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
using POSVERSIONINFOA = OSVERSIONINFOA*;
static_assert(sizeof(OSVERSIONINFOA) == 148);

// Fails with ERROR_INSUFFICIENT_BUFFER unless the size field is 148 (or the
// 156-byte extended form's size), as Windows does.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);
