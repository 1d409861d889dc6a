// hostwin::Machine — the control panel of the simulated Windows machine.
//
// Tests and tools use it to set the machine up and to look inside it; the
// library never does.  Each area of hostwin implements its own part of this
// class next to the API functions it governs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base.h"
#include "clock.h"
#include "machine_state.h"

namespace hostwin {

struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

class Machine {
public:
    // Everything back to a new machine: Windows XP (NT 5.1, build 2600), code
    // page 1252, the host's clock, an empty registry, no planned failures, no drives, the
    // built-in system modules.
    static void Reset();

    // Shares this process's machine with other processes through `folder`
    // (child processes find it in HOSTWIN_MACHINE).
    static void Attach(const std::string& folder);

    // --- version
    static void SetOsVersion(const OsVersion& v);
    static void SetWindowsNT(DWORD major = 5, DWORD minor = 1, DWORD build = 2600);
    static void SetWindows9x(DWORD minor = 10, DWORD build = 0x040A08AE);

    // The ANSI code page of the narrow calls: 1252 (the default) or 932,
    // whose double-byte characters are known as far as their lead bytes and a
    // few characters go (text.h).
    static void SetCodePage(UINT codePage);

    // --- clock
    static void SetLocalTime(const SYSTEMTIME& local, bool frozen = true);
    static void AdvanceClock(LONGLONG milliseconds);
    static void SetUtcBiasMinutes(LONGLONG bias);  // local = UTC - bias; a zone without rules
    // The zone GetTimeZoneInformation reports, with `answer` TIME_ZONE_ID_UNKNOWN,
    // _STANDARD or _DAYLIGHT; local = UTC - (bias + the bias of that answer).
    static void SetTimeZone(LONG bias, LONG standardBias, LONG daylightBias, DWORD answer);
    static void UseVirtualSleep(bool on);          // Sleep moves the clock instead of waiting
    static LONGLONG VirtualSleptMs();

    // --- registry
    // Merges REGEDIT4 text into the registry; false (and *error) on bad text.
    static bool ImportRegistry(std::string_view regText, std::string* error = nullptr);
    // The key and everything below it as REGEDIT4 text ("HKEY_LOCAL_MACHINE\\software\\...").
    static std::string ExportRegistry(std::string_view keyPath);
    static void ClearRegistry();
    static size_t OpenRegistryHandles();

    // --- planned failures: the next `times` calls of `api` fail with `error`
    // (times < 0: every call until cleared).
    static void FailNext(const char* api, DWORD error, int times = 1);
    // The nth WriteFile call from now writes at most `bytes` bytes and still
    // reports success, as a network redirector can.
    static void ShortenWrite(DWORD bytes, int nth = 1);
    static void ClearFailures();
    // Called on the calling thread as each call that can be made to fail
    // begins (CreateFileA, CreateSemaphoreA, ...), with the call's name: a
    // test may hold a thread there to meet another in a chosen state.
    // nullptr (and Reset) ends it.
    static void OnApiCall(std::function<void(const char* api)> hook);

    // --- message boxes: every box shown, in order; answered at once
    static std::vector<MessageBoxRecord> MessageBoxes();
    static void ClearMessageBoxes();
    static void SetMessageBoxAnswer(int answer);  // IDOK unless set
    static void OnMessageBox(std::function<void(const MessageBoxRecord&)> listener);

    // --- kernel objects
    static size_t OpenHandles();

    // --- global memory
    static size_t LiveGlobalBlocks();

    // --- drives and files (drives.cpp, disk_files.cpp)
    struct DriveSetup {
        char letter = 'C';
        UINT type = 3;           // DRIVE_FIXED
        std::string hostFolder;  // empty: a new temporary folder, removed with the drive
        std::string label;
        std::string fileSystem = "NTFS";
        ULONGLONG freeBytes = 0;
        ULONGLONG totalBytes = 0;
        DWORD serial = 0;
        DWORD sectorsPerCluster = 8;
        DWORD bytesPerSector = 512;
        bool shortNames = true;  // false: no 8.3 names, as on volumes made without them
    };
    // Adds (or replaces) a drive; returns its host folder.
    static std::string AddDrive(const DriveSetup& drive);
    static bool RemoveDrive(char letter);
    static void SetDriveSpace(char letter, ULONGLONG freeBytes, ULONGLONG totalBytes);
    static void SetSystemDirectory(const std::string& path);  // C:\WINDOWS\SYSTEM32 unless set
    static void SetCurrentDirectory(const std::string& path);  // taken as given, unchecked
    // The host path behind a Windows path ("" when there is none).
    static std::string HostPath(const std::string& windowsPath);
    // A read-only file refuses writing and deletion; a read-only folder
    // refuses new and deleted entries (ERROR_ACCESS_DENIED).
    static bool SetReadOnly(const std::string& windowsPath, bool readOnly);
    static size_t OpenFiles();
    // Makes a file or folder a reparse point with `tag` (0: one that reports
    // no tag), as a file-system filter would; a host symbolic link is always
    // IO_REPARSE_TAG_SYMLINK.
    static bool SetReparseTag(const std::string& windowsPath, DWORD tag);
    // Called after each FindFirstFileA has taken its listing, with the
    // pattern searched: for tests that change a tree while a walk is under
    // way, as another process could.  nullptr (and Reset) ends it.
    static void OnSearch(std::function<void(const std::string& pattern)> hook);
    // Called at the start of each of ntdll's NtCreateFile, NtQueryDirectoryFile,
    // NtQueryInformationFile and NtSetInformationFile with the export's name
    // and the full Windows path (UTF-8) of the entry it acts on (for a name
    // relative to a folder handle: the folder's path, "\\" and the name).  It
    // runs without any hostwin lock held, so it may call hostwin itself.
    // nullptr (and Reset) ends it.
    static void OnFileCall(std::function<void(const char* api, const std::string& path)> hook);
    // A removable drive without a medium: its volume and files answer
    // ERROR_NOT_READY, after the system's "No Disk" box unless the process's
    // error mode has SEM_FAILCRITICALERRORS (removable_media.cpp).
    static void SetDriveMedium(char letter, bool present);
    // Blocks that FormatMessageA handed out and nobody freed.
    static size_t LiveLocalBlocks();

    // --- the process table (process_table.cpp): this process, the processes
    // it started and still running, and the entries added here, in that
    // order.  An entry that refuses OpenProcess stands for a system process
    // or another user's.  AddProcess returns the new entry's identifier.
    static DWORD AddProcess(const std::string& exeName, bool opens = true);
    static bool RemoveProcess(DWORD processId);

    // --- raw volumes (volumes.cpp)
    // Backs an added drive by a disk-image file: "\\.\X:" and vwin32 reach
    // its sectors.
    static bool AttachVolumeImage(char letter, const std::string& hostImagePath);
    // The cluster bitmap FSCTL_GET_VOLUME_BITMAP answers from: a file of bits,
    // cluster 0 in bit 0 of its first byte, `clusters` of them in use.
    static bool SetVolumeBitmap(char letter, const std::string& hostBitmapPath, ULONGLONG clusters);
    // Volume-bitmap requests answer STATUS_PENDING and complete a moment later.
    static void SetVolumeBitmapPending(bool pending);
    // The next `times` vwin32 calls with `controlCode` come back with the
    // carry flag set and `dosError` in EAX.
    static void FailVwin32Call(DWORD controlCode, DWORD dosError, int times = 1);

    // --- modules
    struct ModuleExport {
        std::string name;
        FARPROC address;
        bool ntFamilyOnly = false;  // GetProcAddress finds it only on the NT family
        template <typename F>
        ModuleExport(std::string n, F* f) : name(std::move(n)), address(reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f))) {}
    };
    // Makes `name` loadable (replacing an earlier module of that name).
    static void RegisterModule(const std::string& name, const std::vector<ModuleExport>& exports,
                               BOOL(WINAPI* entry)(HINSTANCE, DWORD, LPVOID) = nullptr);
    static bool RemoveExport(const std::string& module, const std::string& exportName);
    static int ModuleLoadCount(const std::string& module);
    // Waits until the module is no longer loaded; false after `milliseconds`.
    static bool WaitForModuleUnload(const std::string& module, DWORD milliseconds);

    // --- threads: while held, a new thread starts but does not run its start
    // routine (as a thread waits for the loader lock on Windows).
    static void HoldNewThreads(bool hold);

    // --- menus: menus created and not yet destroyed (a leak shows here)
    static size_t LiveMenus();
};

}  // namespace hostwin
