// The rules that keep the product from destroying files of the operating
// system, of system folders or of the product itself.  Paths are full narrow
// paths that begin with a drive root.
#pragma once

#include "platform/win32.h"

// Why IsSafeToDestroy refused a file.
enum RefusalReason : DWORD {
    kNotRefused = 0,
    kRefusedSystemFile = 1,    // system extension, missing, or system/hidden attribute
    kRefusedProtectedPlace = 2,  // protected folder or the product's program directory
};

// May this file be destroyed?  When it may not, *reason (if given) says why;
// it is 0 otherwise.
bool IsSafeToDestroy(const char* path, DWORD* reason = nullptr);

// The text after the last "." is one of the 18 system extensions (three
// characters, any case).
bool HasSystemExtension(const char* path);
// The file exists and carries neither the system nor the hidden attribute.
bool ExistsAndNotSystemOrHidden(const char* path);
// A folder below the drive root ("windows\temp") in which the user's files
// may be destroyed.
bool IsUserFolder(const char* folder);
// The first component of a path below the drive root is not one of the
// system's own top-level folders.
bool IsUserTopFolder(const char* path);
// Neither a system extension nor a missing, system or hidden file.
bool IsSafeFile(const char* path);
