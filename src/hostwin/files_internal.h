// hostwin internals: what CreateFileA hands to the area that owns the name.
#pragma once

#include <string>

#include "base.h"

namespace hostwin::detail {

// A file or folder on a simulated drive (disk_files.cpp).  Returns a handle
// or INVALID_HANDLE_VALUE with *error set.
HANDLE OpenDiskFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    DWORD* error);

// Whether an open with `access` and `share` is refused because of another
// open of the same object (disk_files.cpp).
bool ShareConflict(DWORD access, DWORD share, DWORD otherAccess, DWORD otherShare);
bool Reads(DWORD access);
bool Writes(DWORD access);

// A volume device, "\\.\X:", or the vwin32 device, "\\.\vwin32" (volumes.cpp).
HANDLE OpenDevice(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD* error);
bool IsDeviceName(const std::string& name);
// Machine::Reset's part: no volume images, ntdll.dll loaded with its exports.
void ResetVolumes();

// The client end of a named pipe, "\\.\pipe\NAME" (pipes.cpp).
HANDLE OpenPipeClient(const std::string& pipeName, DWORD access, DWORD* error);

// The host path behind a Windows path on a simulated drive ("C:\dir\file" ->
// "/drive/folder/dir/file"), relative paths taken from the current directory;
// false with *error (ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ...) when
// there is none (disk_files.cpp).
bool ResolveHostPath(const std::string& windowsPath, std::string* hostPath, DWORD* error);

}  // namespace hostwin::detail
