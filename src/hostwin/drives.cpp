// Drives, their space and volume data, the system directory and the current
// directory.  A shared machine keeps them in its machine.conf ("drives",
// "cwd", "sysdir"), read by every process of the machine at first use.
#include "drives.h"
#include "disk_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "drives_state.h"
#include "errors.h"
#include "faults.h"
#include "files_internal.h"
#include "machine.h"
#include "psapi.h"
#include "toolhelp.h"
#include "machine_state.h"
#include "media_state.h"

namespace hostwin::detail {
namespace {

constexpr char kDefaultSystemDirectory[] = "C:\\WINDOWS\\SYSTEM32";
constexpr char kDefaultCurrentDirectory[] = "C:\\";

struct Drive {
    Machine::DriveSetup setup;
    bool ownsFolder = false;  // a temporary folder this process made
    pid_t owner = 0;          // the process that made it (a forked copy must not remove it)
};

void RemoveOwnedFolder(const Drive& d);

struct DriveTable {
    std::mutex mutex;
    std::map<char, Drive> drives;
    std::string currentDirectory = kDefaultCurrentDirectory;
    std::string systemDirectory = kDefaultSystemDirectory;

    // A process that ends with drives still set up takes their temporary
    // folders with it: nothing else would ever remove them.
    ~DriveTable() {
        for (const auto& [letter, d] : drives)
            RemoveOwnedFolder(d);
    }
};

DriveTable& Table() {
    static DriveTable t;
    return t;
}

// A shared machine's settings are applied on first use; that must happen
// before the table's lock is taken, as applying them takes it too.
DriveTable& LoadedTable() {
    MachineFolder();
    return Table();
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }


// machine.conf holds one line per key: fields are percent-encoded so that
// folders and labels may hold any character.
std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Decode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string SerializeDrives(const DriveTable& t) {
    std::ostringstream out;
    for (const auto& [letter, d] : t.drives) {
        const auto& s = d.setup;
        out << letter << ' ' << s.type << ' ' << s.freeBytes << ' ' << s.totalBytes << ' ' << s.serial << ' '
            << s.sectorsPerCluster << ' ' << s.bytesPerSector << ' ' << Encode(s.hostFolder) << ' '
            << Encode(s.label) << "% " << Encode(s.fileSystem) << "% ;";
    }
    return out.str();
}

// The inverse of SerializeDrives; the "%" after the label and the file-system
// name keep empty texts from vanishing between the blanks.
std::map<char, Drive> ParseDrives(const std::string& text) {
    std::map<char, Drive> drives;
    std::istringstream records(text);
    std::string record;
    while (std::getline(records, record, ';')) {
        std::istringstream in(record);
        Drive d;
        std::string folder, label, fileSystem;
        if (!(in >> d.setup.letter >> d.setup.type >> d.setup.freeBytes >> d.setup.totalBytes >> d.setup.serial >>
              d.setup.sectorsPerCluster >> d.setup.bytesPerSector >> folder >> label >> fileSystem))
            continue;
        d.setup.hostFolder = Decode(folder);
        d.setup.label = Decode(label.substr(0, label.size() - 1));
        d.setup.fileSystem = Decode(fileSystem.substr(0, fileSystem.size() - 1));
        drives[d.setup.letter] = d;
    }
    return drives;
}

void SaveDrives() {
    std::string text;
    {
        std::lock_guard lock(Table().mutex);
        text = SerializeDrives(Table());
    }
    SaveSharedSetting("drives", text);
}

std::string MakeTempFolder(char letter) {
    const auto base = std::filesystem::temp_directory_path();
    std::string pattern = (base / ("hostwin-drive-" + std::string(1, letter) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

void RemoveOwnedFolder(const Drive& d) {
    if (!d.ownsFolder || d.owner != ::getpid() || d.setup.hostFolder.empty())
        return;
    std::error_code ignored;
    // Read-only entries made by a test must not keep the folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(d.setup.hostFolder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        // chmod follows links: a program linked into the drive keeps its mode.
        if (!it->is_symlink(ignored))
            ::chmod(it->path().c_str(), it->is_directory(ignored) ? 0755 : 0644);
    }
    std::filesystem::remove_all(d.setup.hostFolder, ignored);
}

// The drive named by a root path as GetDriveTypeA and its neighbours accept
// it: null for the current drive, or "X:" with an optional separator.
bool RootLetter(LPCSTR root, char* letter) {
    std::string path = root ? std::string(root) : CurrentDirectory().substr(0, 3);
    if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
        return false;
    if (path.size() > 3)
        return false;
    if (path.size() == 3 && path[2] != '\\' && path[2] != '/')
        return false;
    *letter = Upper(path[0]);
    return true;
}

bool FindSetup(char letter, Machine::DriveSetup* setup) {
    auto& t = LoadedTable();
    std::lock_guard lock(t.mutex);
    auto it = t.drives.find(Upper(letter));
    if (it == t.drives.end())
        return false;
    *setup = it->second.setup;
    return true;
}

// The drive behind a path for the space queries: any existing folder of the
// drive will do, as on Windows.
DWORD SpaceDrive(LPCSTR path, Machine::DriveSetup* setup) {
    char letter;
    std::string text = path ? path : "";
    if (path == nullptr || text.size() < 2 || text[1] != ':') {
        const std::string cwd = CurrentDirectory();
        letter = cwd.empty() ? 'C' : Upper(cwd[0]);
    } else {
        letter = Upper(text[0]);
    }
    if (!FindSetup(letter, setup))
        return ERROR_PATH_NOT_FOUND;
    if (path != nullptr && text.size() > 3) {
        std::string host;
        DWORD error;
        struct stat st;
        if (!ResolveHostPath(text, &host, &error))
            return error;
        if (::stat(host.c_str(), &st) != 0)
            return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

// Windows' rule for the calls that copy a text into a caller's buffer: the
// length without the terminator on success, else the size needed with it.
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
    if (buffer == nullptr || size < text.size() + 1)
        return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

// Callers that look these up pass the information class as the plain 32-bit
// value that the calling convention carries.
BOOL WINAPI ExportedGetFileInformationByHandleEx(HANDLE file, int infoClass, LPVOID info, DWORD size) {
    return GetFileInformationByHandleEx(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), info, size);
}
BOOL WINAPI ExportedSetFileInformationByHandle(HANDLE file, int infoClass, LPVOID info, DWORD size) {
    return SetFileInformationByHandle(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(infoClass), info, size);
}

void RegisterSystemModules() {
    Machine::RegisterModule("Kernel32.dll", {
                                                {"GetDiskFreeSpaceA", &GetDiskFreeSpaceA},
                                                {"GetDiskFreeSpaceExA", &GetDiskFreeSpaceExA},
                                                {"CreateToolhelp32Snapshot", &CreateToolhelp32Snapshot},
                                                {"Process32First", &Process32First},
                                                {"Process32Next", &Process32Next},
                                                {"GetFileInformationByHandleEx", &ExportedGetFileInformationByHandleEx},
                                                {"SetFileInformationByHandle", &ExportedSetFileInformationByHandle},
                                            });
    Machine::RegisterModule("PSAPI.DLL", {
                                             {"EnumProcesses", &EnumProcesses},
                                             {"EnumProcessModules", &EnumProcessModules},
                                             {"GetModuleBaseNameA", &GetModuleBaseNameA},
                                         });
}

// The system modules exist before any test or tool sets the machine up.
const bool g_systemModulesRegistered = (RegisterSystemModules(), true);

}  // namespace

bool FindDrive(char letter, DriveInfo* drive) {
    Machine::DriveSetup setup;
    if (!FindSetup(letter, &setup))
        return false;
    *drive = DriveInfo{Upper(setup.letter), setup.type, setup.hostFolder, setup.shortNames, setup.serial};
    return true;
}

std::string CurrentDirectory() {
    auto& t = LoadedTable();
    std::lock_guard lock(t.mutex);
    return t.currentDirectory;
}

void StoreCurrentDirectory(const std::string& path) {
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        t.currentDirectory = path;
    }
    SaveSharedSetting("cwd", Encode(path));
}

void ResetDrives() {
    std::map<char, Drive> old;
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        old.swap(t.drives);
        t.currentDirectory = kDefaultCurrentDirectory;
        t.systemDirectory = kDefaultSystemDirectory;
    }
    for (const auto& [letter, d] : old)
        RemoveOwnedFolder(d);
    SaveDrives();
    SaveSharedSetting("cwd", Encode(kDefaultCurrentDirectory));
    SaveSharedSetting("sysdir", Encode(kDefaultSystemDirectory));
    (void)g_systemModulesRegistered;
    RegisterSystemModules();
}

void ApplyDriveSetting(const std::string& key, const std::string& value) {
    auto& t = Table();
    std::lock_guard lock(t.mutex);
    if (key == "drives")
        t.drives = ParseDrives(value);
    else if (key == "cwd")
        t.currentDirectory = Decode(value);
    else if (key == "sysdir")
        t.systemDirectory = Decode(value);
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

DWORD WINAPI GetLogicalDrives() {
    auto& t = LoadedTable();
    std::lock_guard lock(t.mutex);
    DWORD mask = 0;
    for (const auto& [letter, d] : t.drives)
        if (letter >= 'A' && letter <= 'Z')
            mask |= 1u << (letter - 'A');
    return mask;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    char letter;
    hostwin::Machine::DriveSetup setup;
    if (!RootLetter(lpRootPathName, &letter) || !FindSetup(letter, &setup))
        return DRIVE_NO_ROOT_DIR;
    return setup.type;
}

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                              LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters) {
    if (FailIfInjected("GetDiskFreeSpaceA"))
        return FALSE;
    hostwin::Machine::DriveSetup setup;
    if (DWORD error = SpaceDrive(lpRootPathName, &setup); error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    const ULONGLONG cluster = std::max<ULONGLONG>(1, ULONGLONG{setup.sectorsPerCluster} * setup.bytesPerSector);
    const auto clusters = [&](ULONGLONG bytes) {
        return static_cast<DWORD>(std::min<ULONGLONG>(bytes / cluster, 0xFFFFFFFFull));
    };
    if (lpSectorsPerCluster)
        *lpSectorsPerCluster = setup.sectorsPerCluster;
    if (lpBytesPerSector)
        *lpBytesPerSector = setup.bytesPerSector;
    if (lpNumberOfFreeClusters)
        *lpNumberOfFreeClusters = clusters(setup.freeBytes);
    if (lpTotalNumberOfClusters)
        *lpTotalNumberOfClusters = clusters(setup.totalBytes);
    return TRUE;
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
    if (FailIfInjected("GetDiskFreeSpaceExA"))
        return FALSE;
    hostwin::Machine::DriveSetup setup;
    if (DWORD error = SpaceDrive(lpDirectoryName, &setup); error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (lpFreeBytesAvailableToCaller)
        lpFreeBytesAvailableToCaller->QuadPart = setup.freeBytes;
    if (lpTotalNumberOfBytes)
        lpTotalNumberOfBytes->QuadPart = setup.totalBytes;
    if (lpTotalNumberOfFreeBytes)
        lpTotalNumberOfFreeBytes->QuadPart = setup.freeBytes;
    return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    std::string path;
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        path = t.systemDirectory;
    }
    return CopyOut(path, lpBuffer, uSize);
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize) {
    if (FailIfInjected("GetVolumeInformationA"))
        return FALSE;
    char letter;
    hostwin::Machine::DriveSetup setup;
    const std::string root = lpRootPathName ? lpRootPathName : "";
    const bool named = root.size() >= 2 && root[1] == ':';
    if (named && !FindSetup(root[0], &setup)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // Only a drive's root has volume information; a folder below it does not.
    if (!RootLetter(lpRootPathName, &letter)) {
        SetLastError(ERROR_DIR_NOT_ROOT);
        return FALSE;
    }
    if (!FindSetup(letter, &setup)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!DriveHasMedium(letter)) {
        SetLastError(NoMediumError(letter));
        return FALSE;
    }
    if ((lpVolumeNameBuffer && setup.label.size() + 1 > nVolumeNameSize) ||
        (lpFileSystemNameBuffer && setup.fileSystem.size() + 1 > nFileSystemNameSize)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (lpVolumeNameBuffer)
        std::memcpy(lpVolumeNameBuffer, setup.label.c_str(), setup.label.size() + 1);
    if (lpFileSystemNameBuffer)
        std::memcpy(lpFileSystemNameBuffer, setup.fileSystem.c_str(), setup.fileSystem.size() + 1);
    if (lpVolumeSerialNumber)
        *lpVolumeSerialNumber = setup.serial;
    if (lpMaximumComponentLength)
        *lpMaximumComponentLength = 255;
    if (lpFileSystemFlags)
        *lpFileSystemFlags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    return CopyOut(CurrentDirectory(), lpBuffer, nBufferLength);
}

namespace hostwin {

std::string Machine::AddDrive(const DriveSetup& drive) {
    Drive d{drive, false};
    d.setup.letter = Upper(drive.letter);
    // Every volume has a serial number, and two seldom share one: a drive
    // set up without one gets its letter's, as Wine gives a drive of its own.
    if (d.setup.serial == 0)
        d.setup.serial = static_cast<DWORD>(static_cast<unsigned char>(d.setup.letter)) << 24;
    if (d.setup.hostFolder.empty()) {
        d.setup.hostFolder = MakeTempFolder(d.setup.letter);
        d.ownsFolder = !d.setup.hostFolder.empty();
        d.owner = ::getpid();
    }
    Drive replaced;
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        if (auto it = t.drives.find(d.setup.letter); it != t.drives.end())
            replaced = it->second;
        t.drives[d.setup.letter] = d;
    }
    if (replaced.setup.hostFolder != d.setup.hostFolder)
        RemoveOwnedFolder(replaced);
    SaveDrives();
    return d.setup.hostFolder;
}

bool Machine::RemoveDrive(char letter) {
    Drive removed;
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        auto it = t.drives.find(Upper(letter));
        if (it == t.drives.end())
            return false;
        removed = it->second;
        t.drives.erase(it);
    }
    RemoveOwnedFolder(removed);
    SaveDrives();
    return true;
}

void Machine::SetDriveSpace(char letter, ULONGLONG freeBytes, ULONGLONG totalBytes) {
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        auto it = t.drives.find(Upper(letter));
        if (it == t.drives.end())
            return;
        it->second.setup.freeBytes = freeBytes;
        it->second.setup.totalBytes = totalBytes;
    }
    SaveDrives();
}

void Machine::SetSystemDirectory(const std::string& path) {
    {
        auto& t = LoadedTable();
        std::lock_guard lock(t.mutex);
        t.systemDirectory = path;
    }
    SaveSharedSetting("sysdir", Encode(path));
}

void Machine::SetCurrentDirectory(const std::string& path) { StoreCurrentDirectory(path); }

}  // namespace hostwin
