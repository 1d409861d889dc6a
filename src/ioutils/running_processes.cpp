#include "ioutils/running_processes.h"

#include <algorithm>

#include "platform/win32.h"

namespace {

constexpr char kStatusLibrary[] = "PSAPI.DLL";
constexpr char kKernelLibrary[] = "Kernel32.DLL";
constexpr DWORD kProcessIdBytes = 1024;  // room for 256 identifiers
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410
constexpr DWORD kNameBufferSize = 256;

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

// Through void(*)() so that the compiler accepts the change of signature.
template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Frees the library however the listing ends.
class Library {
public:
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

void ListWithStatusLibrary(std::vector<std::string>& names) {
    Library psapi(kStatusLibrary);
    if (psapi.get() == nullptr)
        return;
    const auto enumProcesses = Lookup<EnumProcessesFn>(psapi.get(), "EnumProcesses");
    const auto enumModules = Lookup<EnumProcessModulesFn>(psapi.get(), "EnumProcessModules");
    const auto baseName = Lookup<GetModuleBaseNameFn>(psapi.get(), "GetModuleBaseNameA");
    if (enumProcesses == nullptr || enumModules == nullptr || baseName == nullptr)
        return;

    DWORD ids[kProcessIdBytes / sizeof(DWORD)] = {};
    DWORD bytes = 0;
    if (!enumProcesses(ids, kProcessIdBytes, &bytes))
        return;
    const DWORD count = std::min<DWORD>(bytes, kProcessIdBytes) / sizeof(DWORD);
    for (DWORD i = 0; i < count; ++i) {
        HANDLE process = OpenProcess(kQueryAndRead, FALSE, ids[i]);
        if (process == nullptr)
            continue;  // system processes and other users' processes
        HMODULE program = nullptr;
        DWORD needed = 0;
        // The first module is the program; room for exactly one handle.
        if (enumModules(process, &program, sizeof program, &needed)) {
            char name[kNameBufferSize] = {};
            if (baseName(process, program, name, kNameBufferSize - 1) != 0)
                names.emplace_back(name);
        }
        CloseHandle(process);
    }
}

void ListWithSnapshot(std::vector<std::string>& names) {
    Library kernel(kKernelLibrary);
    if (kernel.get() == nullptr)
        return;
    const auto createSnapshot = Lookup<CreateSnapshotFn>(kernel.get(), "CreateToolhelp32Snapshot");
    const auto first = Lookup<ProcessWalkFn>(kernel.get(), "Process32First");
    const auto next = Lookup<ProcessWalkFn>(kernel.get(), "Process32Next");
    if (createSnapshot == nullptr || first == nullptr || next == nullptr)
        return;
    HANDLE snapshot = createSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry{};
    // 296 bytes in the 32-bit DLL (held in platform/win32.h); a 64-bit
    // build passes its own size, as the system refuses a smaller one.
    entry.dwSize = sizeof entry;
    for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry))
        names.emplace_back(entry.szExeFile);
    CloseHandle(snapshot);
}

}  // namespace

void ListRunningProcesses(std::vector<std::string>& names) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4)
        ListWithStatusLibrary(names);
    else
        ListWithSnapshot(names);
}
