// hostwin: the ANSI code page and its character classes: 1252 (Western
// European) unless Machine::SetCodePage chose 932 (Japanese).
#pragma once

#include "base.h"

// True for the letters of code page 1252: A-Z, a-z and the accented and
// other letters of its upper half.
BOOL WINAPI IsCharAlphaA(CHAR ch);

UINT WINAPI GetACP();
// In code page 932 the first byte of a double-byte character: 0x81-0x9F and
// 0xE0-0xFC (its second byte may be "\"); in 1252 none.
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
// The next character: past both bytes of a double-byte one; the terminating
// zero stays where it is.
LPSTR WINAPI CharNextA(LPCSTR lpsz);
