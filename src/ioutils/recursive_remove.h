// Removing the contents of a folder for the cleaning features: files that
// resist are retried and at last emptied, "desktop.ini" files stay, and
// every file or folder that cannot go is recorded in the action log.
#pragma once

#include "platform/win32.h"

// Every file and subfolder inside folder (given without a trailing "\"),
// however deep; the folder itself stays.  A drive root is refused.  True
// when everything that was to go is gone.
bool IO_RecursiveRM(const char* folder);
// The files directly inside folder; subfolders are left alone.
bool RemoveDirectoryFiles(const char* folder);
// 1 when the file is gone (or emptied as a last resort), 0 when it could not
// be touched.  A file held by another process costs up to two seconds.
DWORD DeleteFileWithRetry(const char* path);
// 0 when IsSafeToDestroy refuses the file (*reason says why), else
// DeleteFileWithRetry's result.
DWORD RemoveFileIfSafe(const char* path, DWORD* reason = nullptr);
