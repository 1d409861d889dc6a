// hostwin: files and folders on the simulated drives, with Windows' path
// rules: "\" or "/" separators, names compared without regard to case, "."
// and ".." folded, trailing dots and blanks dropped, paths relative to the
// current directory or to a drive ("C:name").  CreateFileA (files.h) opens
// them; these are the calls around it.
#pragma once

#include "base.h"
#include "clock.h"

#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define DELETE 0x00010000L

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
using PWIN32_FIND_DATAA = WIN32_FIND_DATAA*;
static_assert(sizeof(WIN32_FIND_DATAA) == 320);

// "*" and "?" in the last part of the path; below a drive's root the entries
// "." and ".." are found too, as on NTFS.  Entries come in case-insensitive
// name order.
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);

BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
// The whole path by text alone (full_path.cpp): the length without the
// terminating zero, or the size needed with it when the buffer is smaller.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);
// Read-only, hidden and system are kept (read-only as the host entry's write
// permission); files always show FILE_ATTRIBUTE_ARCHIVE besides, as on Wine.
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
