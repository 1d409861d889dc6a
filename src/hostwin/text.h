// hostwin: character classes of the ANSI code page (1252, Western European).
#pragma once

#include "base.h"

// True for the letters of code page 1252: A-Z, a-z and the accented and
// other letters of its upper half.
BOOL WINAPI IsCharAlphaA(CHAR ch);
