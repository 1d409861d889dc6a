// Removing the contents of a folder for the cleaning features: files that
// resist are retried and at last emptied, "desktop.ini" files stay, and
// every file or folder that cannot go is recorded in the action log.  A link
// met on the way (junction, folder or file link, mount point) is removed as
// an entry and never followed: nothing outside the folder is touched.  A
// folder given that is itself a link is not emptied (it is recorded, and the
// answer is false): its contents are another folder's.  On the NT family
// only the folder given is a path: every entry below it is reached through
// its folder's open handle by its exact name, and each folder the walk enters
// is held open while its contents go, so that no name the code page rewrites
// and nothing swapped for a link on the way down leads anywhere else
// (handle_walker.h).  Records name entries as the code page shows them.
#pragma once

#include <string>

#include "platform/win32.h"

// Every file and subfolder inside folder (given without a trailing "\"),
// however deep; the folder itself stays.  The folder is first resolved
// (GetFullPathNameA) and walked as resolved; a drive root or a share however
// written ("C:\.", "C:\a\..", "C:\\"), a device path, a stream ("C:\a:s"),
// an empty name or one that cannot be resolved is refused with one record.
// True when everything that was to go is gone.
bool IO_RecursiveRM(const char* folder);
// The files directly inside folder; subfolders and folder links are left
// alone.  A root is accepted, an empty name refused.
bool RemoveDirectoryFiles(const char* folder);
// 1 when the file is gone (or emptied as a last resort), 0 when it stays.
// A file held by another process costs up to two seconds.  A link is
// removed as itself and never emptied, nor is a file with a second name.
DWORD DeleteFileWithRetry(const char* path);
// 0 when IsSafeToDestroy refuses the file (*reason says why), else
// DeleteFileWithRetry's result.
DWORD RemoveFileIfSafe(const char* path, DWORD* reason = nullptr);

// The folder as IO_RecursiveRM walks it, resolved: false when it is no folder
// below a root.  Only "X:\name...", "\\server\share\name..." and their
// "\\?\X:\..." and "\\?\UNC\server\share\..." forms are.
bool ResolveRemovalFolder(const char* folder, std::string* resolved);
