// hostwin: the system's texts for error numbers (FormatMessageA) and the
// local memory that FormatMessageA hands out (LocalFree).
#pragma once

#include <cstdarg>

#include "base.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))
#define LANG_USER_DEFAULT 0x0400

using HLOCAL = HANDLE;

// FORMAT_MESSAGE_FROM_SYSTEM only, in one language: the text of a known error
// number ending in "\r\n", or 0 with ERROR_MR_MID_NOT_FOUND.  With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer receives a block for LocalFree.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments);
// Frees a block from FormatMessageA: null on success, the block itself (and
// ERROR_INVALID_HANDLE) for anything else.
HLOCAL WINAPI LocalFree(HLOCAL hMem);
