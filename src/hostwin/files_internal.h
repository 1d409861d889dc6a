// hostwin internals: what CreateFileA hands to the area that owns the name.
#pragma once

#include <string>

#include "base.h"
#include "clock.h"

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

// --- what ntdll's file calls (nt_files.cpp) reach of the disk files

// A host entry as the handle calls describe it; a link is described as
// itself.  Times as the narrow calls show them.
struct HostEntryInfo {
    bool exists = false;
    bool directory = false;
    bool link = false;
    DWORD attributes = 0;
    DWORD reparseTag = 0;  // 0 when no reparse point
    ULONGLONG size = 0;
    DWORD links = 1;
    FILETIME created{}, accessed{}, written{};
    bool deletePending = false;
};
HostEntryInfo DescribeHostEntry(const std::string& host);

// What a handle to a disk file or folder names now; false for any other handle.
struct DiskHandleInfo {
    std::string host;  // a link opened as itself: the link; else what it leads to
    DWORD access = 0;
    bool linkItself = false;
    HostEntryInfo entry;
};
bool DescribeDiskHandle(HANDLE handle, DiskHandleInfo* info);

// Opens the host entry `host` for ntdll's NtCreateFile: a link as itself when
// `linkItself`, a folder for its handle, a file with its data.  Sharing and a
// delete pending on that name are checked as for CreateFileA.  Returns an
// NTSTATUS.
LONG OpenHostEntry(const std::string& host, DWORD access, DWORD share, bool linkItself, HANDLE* handle);

// Delete on close for the handle's entry (FileDispositionInformation[Ex]):
// kDeleteOnClose marks it, 0 takes the mark back.  Returns an NTSTATUS.
constexpr ULONG kDeleteOnClose = 0x1;
constexpr ULONG kPosixDelete = 0x2;
constexpr ULONG kIgnoreReadOnly = 0x10;
LONG SetDeleteDisposition(HANDLE handle, ULONG flags);

// "X:\dir\name" (UTF-8) for a host path on a simulated drive, "" when it
// lies on none.
std::string WindowsPathOfHost(const std::string& host);
// The host folder and whether it keeps short names, for a drive letter.
bool DriveHostFolder(char letter, std::string* hostFolder, bool* shortNames);

// ntdll's file calls, which exist on the NT family only (nt_files.cpp).
struct NtFileExport {
    const char* name;
    FARPROC address;
};
const NtFileExport* NtFileExports(size_t* count);
void ResetNtFiles();

}  // namespace hostwin::detail
