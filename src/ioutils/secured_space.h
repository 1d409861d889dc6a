// The "Nullmark Secured Space" folder in a drive's root and its "T~P" files.
#pragma once

#include <string>

#include "platform/win32.h"

// Files above this size are deleted whenever the folder is measured.
constexpr DWORD kSecuredSpacePruneLimit = 25 * 1024 * 1024;

// The bytes held by the folder's "*.T~P" files after pruning; 0 when the
// folder is missing or holds none.
ULONGLONG GetSecuredSpaceSize(char drive);

// A new file name for the folder made from the current UTC time, e.g.
// "7F6E5D4B3A5C201.T~P".
std::string MakeSecuredSpaceFileName();
// The same for a given FILETIME value.
std::string SecuredSpaceFileNameFor(ULONGLONG fileTime);

// True when the folder (or anything of its name) exists or was created.
bool EnsureSecuredSpaceFolder(char drive);
