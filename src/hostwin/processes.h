// hostwin: processes.  A Windows program path on a simulated drive runs the
// host program found there: the file in the drive's host folder is a host
// executable, a symbolic link to one, or a script with a "#!" line.  The
// child shares the simulated machine (HOSTWIN_MACHINE) and sees the Windows
// command line through GetCommandLineA.  Process and thread handles are
// signalled when the child ends; the child is reaped at once, whether or not
// anybody still holds a handle.
#pragma once

#include "base.h"
#include "threads.h"  // STILL_ACTIVE

#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_NO_WINDOW 0x08000000
#define DETACHED_PROCESS 0x00000008
#define NORMAL_PRIORITY_CLASS 0x00000020

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;
using PPROCESS_INFORMATION = PROCESS_INFORMATION*;

// Runs the program without waiting.  The program is lpApplicationName, used
// as given (no search path, no default extension), or else the first token
// of lpCommandLine (".exe" added when it has no extension).  The command line
// is lpCommandLine, or lpApplicationName when that is null.  Not offered:
// CREATE_SUSPENDED, an own environment block, an own current directory
// (ERROR_NOT_SUPPORTED).  A missing file is ERROR_FILE_NOT_FOUND, a missing
// folder or drive ERROR_PATH_NOT_FOUND, a file the host cannot run
// ERROR_BAD_EXE_FORMAT.
BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
DWORD WINAPI GetCurrentProcessId();
// The command line that CreateProcessA gave this process; for a program
// started from the host, its arguments joined with blanks (quoted where they
// hold blanks).
LPSTR WINAPI GetCommandLineA();
