// The one header through which the library reaches its platform: the Win32
// API on Windows, hostwin (the simulated Windows) on the host.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
// The C runtime's file calls that work on Windows paths (_unlink, _fsopen).
#include <io.h>
#include <share.h>
#include <cstdio>
#else
#include "hostwin/hostwin.h"
#endif

// The 32-bit layouts that the product depends on.
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA is called with a 148-byte record");
static_assert(sizeof(GUID) == 16, "class identifiers are compared as 16 raw bytes");
static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32) == 296, "the process snapshot entry of 32-bit Windows");
static_assert(sizeof(void*) != 4 || sizeof(HMODULE) == 4, "EnumProcessModules is given room for one 4-byte handle");
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "the search record, read by the removal and the secured space");
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52, "the handle record that tells a file's names and kind");
