// The process table: this process, what it started and the entries a test
// added.  Identifiers of added entries are multiples of 4, as Windows hands
// them out, and never those of a live entry.
#include "process_table.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "errors.h"
#include "faults.h"
#include "handles.h"
#include "machine.h"
#include "psapi.h"
#include "toolhelp.h"

namespace hostwin::detail {
namespace {

struct Table {
    std::mutex mutex;
    std::vector<ProcessEntry> started;
    std::vector<ProcessEntry> added;
    DWORD nextId = 8;
};

// Never destroyed: the thread that reaps a started program may still be
// taking it off the table while the test program exits.
Table& TheTable() {
    static Table* const t = new Table;
    return *t;
}

ProcessEntry Self() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string name(path, n > 0 ? static_cast<size_t>(n) : 0);
    return ProcessEntry{static_cast<DWORD>(::getpid()), static_cast<DWORD>(::getppid()),
                        name.substr(name.find_last_of('/') + 1), true};
}

bool IdInUse(const Table& t, DWORD id) {
    const auto same = [id](const ProcessEntry& e) { return e.id == id; };
    return id == static_cast<DWORD>(::getpid()) || std::any_of(t.started.begin(), t.started.end(), same) ||
           std::any_of(t.added.begin(), t.added.end(), same);
}

// The handle OpenProcess gives: it names an entry of the table.
class ProcessView : public KernelObject {
public:
    explicit ProcessView(DWORD id) : id(id) {}
    const DWORD id;
};

// A process's one module, its program, at the usual image base.
const HMODULE kMainModule = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x400000));

class Snapshot : public KernelObject {
public:
    std::vector<ProcessEntry> entries;
    size_t next = 0;
};

}  // namespace

std::vector<ProcessEntry> ProcessList() {
    std::vector<ProcessEntry> list{Self()};
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    list.insert(list.end(), t.started.begin(), t.started.end());
    list.insert(list.end(), t.added.begin(), t.added.end());
    return list;
}

bool FindProcess(DWORD id, ProcessEntry* entry) {
    for (const ProcessEntry& e : ProcessList())
        if (e.id == id) {
            *entry = e;
            return true;
        }
    return false;
}

void ProcessStarted(DWORD id, const std::string& exeName) {
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    t.started.push_back(ProcessEntry{id, static_cast<DWORD>(::getpid()), exeName, true});
}

void ProcessEnded(DWORD id) {
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.started, [id](const ProcessEntry& e) { return e.id == id; });
}

void ResetProcessTable() {
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    t.added.clear();
    t.nextId = 8;
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

namespace {

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

void Fill(const ProcessEntry& e, PROCESSENTRY32* out) {
    const DWORD size = out->dwSize;
    std::memset(out, 0, sizeof *out);
    out->dwSize = size;
    out->th32ProcessID = e.id;
    out->cntThreads = 1;
    out->th32ParentProcessID = e.parentId;
    out->pcPriClassBase = 8;  // normal priority
    const size_t n = std::min<size_t>(e.exeName.size(), MAX_PATH - 1);
    std::memcpy(out->szExeFile, e.exeName.data(), n);
}

BOOL NextEntry(HANDLE snapshot, PROCESSENTRY32* entry, bool first) {
    auto s = std::dynamic_pointer_cast<Snapshot>(LookUp(snapshot));
    if (!s)
        return Fail(ERROR_INVALID_HANDLE);
    if (entry == nullptr || entry->dwSize < sizeof(PROCESSENTRY32))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (first)
        s->next = 0;
    if (s->next >= s->entries.size())
        return Fail(ERROR_NO_MORE_FILES);
    Fill(s->entries[s->next++], entry);
    return TRUE;
}

std::shared_ptr<ProcessView> View(HANDLE process) {
    return std::dynamic_pointer_cast<ProcessView>(LookUp(process));
}

}  // namespace

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD /*th32ProcessID*/) {
    if (FailIfInjected("CreateToolhelp32Snapshot"))
        return INVALID_HANDLE_VALUE;
    if (dwFlags != TH32CS_SNAPPROCESS) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->entries = ProcessList();
    return NewHandle(snapshot);
}

BOOL WINAPI Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) { return NextEntry(hSnapshot, lppe, true); }
BOOL WINAPI Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) { return NextEntry(hSnapshot, lppe, false); }

HANDLE WINAPI OpenProcess(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, DWORD dwProcessId) {
    ProcessEntry entry;
    if (dwProcessId == 0 || !FindProcess(dwProcessId, &entry)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!entry.opens) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewHandle(std::make_shared<ProcessView>(dwProcessId));
}

BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded) {
    if (FailIfInjected("EnumProcesses"))
        return FALSE;
    if (lpcbNeeded == nullptr || (lpidProcess == nullptr && cb > 0))
        return Fail(ERROR_NOACCESS);
    const std::vector<ProcessEntry> list = ProcessList();
    const size_t count = std::min<size_t>(list.size(), cb / sizeof(DWORD));
    for (size_t i = 0; i < count; ++i)
        lpidProcess[i] = list[i].id;
    *lpcbNeeded = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}

BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
    ProcessEntry entry;
    auto view = View(hProcess);
    if (!view || !FindProcess(view->id, &entry))
        return Fail(ERROR_INVALID_HANDLE);
    if (lpcbNeeded == nullptr)
        return Fail(ERROR_NOACCESS);
    if (cb >= sizeof(HMODULE) && lphModule != nullptr)
        lphModule[0] = kMainModule;
    *lpcbNeeded = sizeof(HMODULE);
    return TRUE;
}

DWORD WINAPI GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize) {
    ProcessEntry entry;
    auto view = View(hProcess);
    if (!view || !FindProcess(view->id, &entry) || (hModule != nullptr && hModule != kMainModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (lpBaseName == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t n = std::min<size_t>(entry.exeName.size(), nSize - 1);
    std::memcpy(lpBaseName, entry.exeName.data(), n);
    lpBaseName[n] = '\0';
    return static_cast<DWORD>(n);
}

namespace hostwin {

DWORD Machine::AddProcess(const std::string& exeName, bool opens) {
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    while (IdInUse(t, t.nextId))
        t.nextId += 4;
    const DWORD id = t.nextId;
    t.nextId += 4;
    t.added.push_back(ProcessEntry{id, 0, exeName, opens});
    return id;
}

bool Machine::RemoveProcess(DWORD processId) {
    auto& t = TheTable();
    std::lock_guard lock(t.mutex);
    return std::erase_if(t.added, [processId](const ProcessEntry& e) { return e.id == processId; }) > 0;
}

}  // namespace hostwin
