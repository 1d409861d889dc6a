// The machine's drives as a user interface offers them, byte counts as short
// texts, and the system's text for an error number in a box.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// Kind codes that ListDrives stores beside each text.
enum DriveKind : int {
    kDriveFloppyA = 0,   // removable drive A:
    kDriveRemovable = 1,
    kDriveNetwork = 2,
    kDriveFixed = 3,
};

// The removable, fixed and network drives in the system's order: appends
// "X:" or "X:  LABEL" to texts and stores their kinds from kinds[0] on
// (room for 26).  The list is not cleared first.
void ListDrives(std::vector<std::string>& texts, int* kinds);

// For a removable drive, whether a readable medium is in it; true for every
// other letter.  Never lets the system ask the user for a disk.
bool IsDriveReady(char letter);

// The longest text, "-2147483648 Bytes", takes 17 characters.
constexpr size_t kByteSizeTextSize = 18;
// "None", "N Bytes", "N.NN KB", "N.NN MB" or "N.NN GB" into buffer (at
// least kByteSizeTextSize characters); returns the characters written.
int FormatByteSize(char* buffer, LONGLONG count);

// The system's text for an error number in a "System Error" box;
// 0xFFFFFFFF stands for the calling thread's last error.
void ShowSystemError(DWORD error);
