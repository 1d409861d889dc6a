// hostwin: text between the ANSI code page and UTF-16, as the narrow calls
// render names: a character outside the code page becomes its best-fit
// twin or "?".
#pragma once

#include "base.h"

#define CP_ACP 0
#define CP_UTF8 65001

// cbMultiByte / cchWideChar -1: the text ends at its zero, which is
// converted too.  0 (ERROR_INSUFFICIENT_BUFFER) when the output does not
// fit; with no output buffer, the length needed.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
