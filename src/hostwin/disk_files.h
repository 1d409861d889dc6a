// hostwin: files and folders on the simulated drives, with Windows' path
// rules: "\" or "/" separators, names compared without regard to case, "."
// and ".." folded, trailing dots and blanks dropped from the last name (one
// trailing dot from the others), paths relative to the current directory or
// to a drive ("C:name").  CreateFileA (files.h) opens them; these are the
// calls around it.
#pragma once

#include "base.h"
#include "clock.h"

#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define DELETE 0x00010000L
#define FILE_LIST_DIRECTORY 0x0001
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100

#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu
#define IsReparseTagNameSurrogate(tag) (((tag) & 0x20000000) != 0)

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define ERROR_CALL_NOT_IMPLEMENTED 120L

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

// What a handle names.  nNumberOfLinks counts the file's names (hard links).
struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52);

// The handle queries of Windows Vista and later; only the classes below are
// answered, every other with ERROR_INVALID_PARAMETER.
enum FILE_INFO_BY_HANDLE_CLASS { FileBasicInfo = 0, FileAttributeTagInfo = 9 };
struct FILE_BASIC_INFO {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;  // 0: leave the attributes as they are
};
struct FILE_ATTRIBUTE_TAG_INFO {
    DWORD FileAttributes;
    DWORD ReparseTag;
};
static_assert(sizeof(FILE_BASIC_INFO) == 40);

// "*" and "?" in the last part of the path; below a drive's root the entries
// "." and ".." are found too, as on NTFS.  Entries come in case-insensitive
// name order.  Names are shown in the ANSI code page (the host's are UTF-8)
// through Windows' best fit: a full-width form outside it shows as its ASCII
// twin ("..\uFF0Fx" as "../x"), any other character outside it as "?".  A
// name that is no legal 8.3 name has a short name in cAlternateFileName (on a
// drive that keeps them), by which it can be opened too.  dwReserved0 holds
// the reparse tag of a reparse point.
HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);

BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
// A rename within a drive.  A file or folder that an open handle does not
// share for deletion cannot be renamed or removed (ERROR_SHARING_VIOLATION);
// a folder with an open handle below it cannot be renamed
// (ERROR_ACCESS_DENIED), nor can an open file be replaced, whatever its
// handles share (ERROR_ACCESS_DENIED), as on Windows.  Windows 95/98/Me answer
// MoveFileExA with ERROR_CALL_NOT_IMPLEMENTED; MoveFileA works there.
BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
// Also exported by Kernel32.dll, where the library looks them up.
BOOL WINAPI GetFileInformationByHandleEx(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                         LPVOID lpFileInformation, DWORD dwBufferSize);
BOOL WINAPI SetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                       LPVOID lpFileInformation, DWORD dwBufferSize);
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
// The whole path by text alone (full_path.cpp): the length without the
// terminating zero, or the size needed with it when the buffer is smaller.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);
// Read-only, hidden and system are kept (read-only as the host entry's write
// permission); files always show FILE_ATTRIBUTE_ARCHIVE besides, as on Wine.
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
