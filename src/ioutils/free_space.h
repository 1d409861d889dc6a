// Free space of a drive, measured the way the running Windows allows.
#pragma once

#include "platform/win32.h"

// The value of a byte count that could not be measured.
constexpr ULONGLONG kUnmeasured = 0xFFFFFFFFFFFFFFFFull;

// The bytes free to the caller on drive `drive` (a letter), or kUnmeasured.
// When `totalSize` is given and the measurement succeeds, the drive's size in
// bytes is stored through it; otherwise it is left alone.
ULONGLONG IO_GetFreeSpaceSizeFromCall(char drive, ULONGLONG* totalSize = nullptr);
