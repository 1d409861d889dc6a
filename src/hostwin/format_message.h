// hostwin: the system's message texts for error codes (FormatMessageA from
// the system table only; no inserts, no module or string sources).
#pragma once

#include <cstdarg>

#include "base.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define ERROR_MR_MID_NOT_FOUND 317L

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

// FORMAT_MESSAGE_FROM_SYSTEM into the caller's buffer: the text's length
// without the terminator, or 0 with ERROR_MR_MID_NOT_FOUND (no text for the
// code), ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER (other sources).
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments);
