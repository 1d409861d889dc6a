// Many threads through the DLL, one after another, as Explorer's folder
// windows come and go.  Each thread makes an extension for PATH..., builds
// its menu and runs the command at OFFSET with its first allocation
// refused, which the extension answers with E_OUTOFMEMORY after the C++
// runtime has set up its exception state for the thread; every 500th thread
// also runs the command in full (a sent command waits half a second for its
// receiving thread to close, so not every thread can).  Then the thread
// ends.  What the runtime keeps for a thread must go with it: the process's
// heaps hold no more after the soak than before it (after a warm-up, so that
// what the DLL and the system set up once is in both).  Then the DLL is
// unloaded and loaded again (100 times unless --loads says), one such
// thread each time, as the shell unloads an idle extension and loads it for
// the next menu: each copy must give back what it took of the process, its
// TLS slots counted.  Where every thread costs much (an emulated processor),
// fewer warm-up threads and loads still take every path.
//   nm_thread_soak [--warm-up N] [--loads N] THREADS OFFSET PATH...
// Prints the threads, the heap bytes in use and the process's private bytes
// before and after, the loads' TLS slots and "TLS slots: none lost" (or "N
// lost"), the count of unexpected answers, and "heaps: no growth
// beyond L bytes" or "heaps: grew by N bytes (more than L)"; exits 0 only
// when every call answered as expected and the heaps did not grow.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shellhost/drop_data_object.h"
#include "shellhost/hresult_text.h"
#include "shellhost/server_module.h"

namespace {

constexpr int kWarmUpThreads = 200;  // unless --warm-up says
constexpr int kSendEvery = 500;
// A leak of one small block per thread would pass this many times over
// 3,000 threads; what the system itself keeps varies by a few pages.
constexpr SIZE_T kGrowthLimit = 64 * 1024;
// A process has 1,088 TLS slots; a copy that kept one would be seen long
// before they ran out.
constexpr int kLoads = 100;  // unless --loads says

struct Soak {
    const ServerModule* server = nullptr;
    UINT offset = 0;
    int started = 0;  // threads so far
    std::vector<std::string> paths;
    // Counts of unexpected answers, written by one thread at a time.
    int failures = 0;
    std::string firstFailure;
};

// --- the refused allocation ---------------------------------------------
// The DLL's import of malloc (the C runtime's, under operator new and the
// exception runtime alike) goes through RefusingMalloc, which fails the
// first call made on the thread named in g_refuseOn and no other.

using MallocFn = void*(__cdecl*)(size_t);
MallocFn g_realMalloc = nullptr;
volatile LONG g_refuseOn = 0;

void* __cdecl RefusingMalloc(size_t size) {
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    if (InterlockedCompareExchange(&g_refuseOn, 0, self) == self)
        return nullptr;
    return g_realMalloc(size);
}

// Points the module's import of msvcrt.dll!malloc at RefusingMalloc.
bool HookMalloc(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "msvcrt.dll") != 0)
            continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
                            "malloc") != 0)
                continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection))
                return false;
            g_realMalloc = reinterpret_cast<MallocFn>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&RefusingMalloc);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

// --- one thread's work ---------------------------------------------------

void Fail(Soak& soak, const std::string& what) {
    if (soak.failures++ == 0)
        soak.firstFailure = what;
}

void Expect(Soak& soak, const char* call, HRESULT seen, HRESULT wanted) {
    if (seen != wanted)
        Fail(soak, std::string(call) + ": " + HresultText(seen) + ", not " + HresultText(wanted));
}

HRESULT Invoke(IContextMenu* menu, UINT offset) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
}

DWORD WINAPI UseTheDll(void* param) {
    Soak& soak = *static_cast<Soak*>(param);
    IShellExtInit* init = nullptr;
    HRESULT hr = soak.server->CreateExtension(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    Expect(soak, "CreateInstance", hr, S_OK);
    if (FAILED(hr))
        return 1;
    DropDataObject* data = DropDataObject::Create(soak.paths);
    Expect(soak, "Initialize", init->Initialize(nullptr, data, nullptr), S_OK);
    data->Release();
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    init->Release();

    HMENU popup = CreatePopupMenu();
    hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    if (FAILED(hr) || HRESULT_CODE(hr) == 0)
        Fail(soak, "QueryContextMenu: " + HresultText(hr) + ", no command added");
    DestroyMenu(popup);
    if (soak.started % kSendEvery == 0)
        Expect(soak, "InvokeCommand", Invoke(menu, soak.offset), S_OK);
    g_refuseOn = static_cast<LONG>(GetCurrentThreadId());
    Expect(soak, "InvokeCommand, one allocation refused", Invoke(menu, soak.offset), E_OUTOFMEMORY);
    g_refuseOn = 0;
    menu->Release();
    return 0;
}

// Runs `count` threads through the DLL, one at a time.
bool RunThreads(Soak& soak, int count) {
    for (int i = 0; i < count; ++i) {
        soak.started++;
        HANDLE thread = CreateThread(nullptr, 0, UseTheDll, &soak, 0, nullptr);
        if (thread == nullptr) {
            std::printf("CreateThread: error %lu after %d threads\n", GetLastError(), i);
            return false;
        }
        const DWORD waited = WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
        if (waited != WAIT_OBJECT_0) {
            std::printf("thread %d did not end within 60 s\n", i);
            return false;
        }
    }
    return true;
}

// --- what the process holds ------------------------------------------------

// The TLS slots still to be had: every one taken, counted and given back.
int FreeTlsSlots() {
    std::vector<DWORD> taken;
    for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc())
        taken.push_back(slot);
    for (const DWORD slot : taken)
        TlsFree(slot);
    return static_cast<int>(taken.size());
}

// `loads` times: the DLL loaded, one thread through it, the DLL unloaded.
// False when a copy would not load or stayed loaded.
bool RunLoads(Soak& soak, ServerModule& server, int loads, std::string* error) {
    for (int i = 0; i < loads; ++i) {
        if (!server.Load(DefaultServerPath(), error) || !HookMalloc(GetModuleHandleA("NMShell402.dll")) ||
            !RunThreads(soak, 1))
            return false;
        server.Unload();
        if (GetModuleHandleA("NMShell402.dll") != nullptr) {
            *error = "the DLL stayed loaded after load " + std::to_string(i + 1);
            return false;
        }
    }
    return true;
}

struct Holdings {
    SIZE_T heapBytes = 0;     // busy blocks of every heap of the process
    SIZE_T privateBytes = 0;  // committed memory of the process alone
    DWORD threads = 0;
};

Holdings Measure() {
    Holdings h;
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                h.heapBytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        h.privateBytes = counters.PagefileUsage;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++h.threads;
    CloseHandle(snapshot);
    return h;
}

}  // namespace

int main(int argc, char** argv) {
    int warmUp = kWarmUpThreads;
    int loads = kLoads;
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        if (std::strcmp(argv[first], "--warm-up") == 0)
            warmUp = std::atoi(argv[first + 1]);
        else if (std::strcmp(argv[first], "--loads") == 0)
            loads = std::atoi(argv[first + 1]);
        else
            break;
    }
    if (argc - first < 3 || warmUp <= 0 || loads <= 0) {
        std::fprintf(stderr, "usage: nm_thread_soak [--warm-up N] [--loads N] THREADS OFFSET PATH...\n");
        return 2;
    }
    argv += first - 1;
    argc -= first - 1;
    const int threads = std::atoi(argv[1]);
    ServerModule server;
    std::string error;
    if (threads <= 0 || !server.Load(DefaultServerPath(), &error)) {
        std::printf("%s\n", threads <= 0 ? "THREADS must be a positive count" : error.c_str());
        return 2;
    }
    if (!HookMalloc(GetModuleHandleA("NMShell402.dll"))) {
        std::printf("NMShell402.dll does not import msvcrt.dll!malloc\n");
        return 2;
    }
    Soak soak;
    soak.server = &server;
    soak.offset = static_cast<UINT>(std::atoi(argv[2]));
    soak.paths.assign(argv + 3, argv + argc);

    if (!RunThreads(soak, warmUp))
        return 1;
    const Holdings before = Measure();
    const DWORD threadsStarted = GetTickCount();
    if (!RunThreads(soak, threads))
        return 1;
    const DWORD threadsTook = GetTickCount() - threadsStarted;
    const Holdings after = Measure();

    const SIZE_T growth = after.heapBytes > before.heapBytes ? after.heapBytes - before.heapBytes : 0;
    std::printf("threads: %d, each: menu, command with one allocation refused (every %dth thread also in full)\n",
                threads, kSendEvery);
    std::printf("threads of the process: before %lu, after %lu\n", before.threads, after.threads);
    std::printf("heap bytes in use: before %lu, after %lu\n", static_cast<unsigned long>(before.heapBytes),
                static_cast<unsigned long>(after.heapBytes));
    std::printf("private bytes: before %lu, after %lu\n", static_cast<unsigned long>(before.privateBytes),
                static_cast<unsigned long>(after.privateBytes));
    server.Unload();
    std::printf("time: the threads %lu ms\n", static_cast<unsigned long>(threadsTook));
    std::fflush(stdout);  // what a run stopped by its time limit had done
    const int slotsBefore = FreeTlsSlots();
    const DWORD loadsStarted = GetTickCount();
    if (!RunLoads(soak, server, loads, &error)) {
        std::printf("loads: %s\n", error.c_str());
        return 1;
    }
    const int slotsAfter = FreeTlsSlots();
    std::printf("loads: %d, free TLS slots before %d, after %d, in %lu ms\n", loads, slotsBefore, slotsAfter,
                static_cast<unsigned long>(GetTickCount() - loadsStarted));
    const bool slotsLost = slotsAfter < slotsBefore;
    if (slotsLost)
        std::printf("TLS slots: %d lost\n", slotsBefore - slotsAfter);
    else
        std::printf("TLS slots: none lost\n");
    std::printf("unexpected answers: %d%s%s\n", soak.failures, soak.failures ? ", the first: " : "",
                soak.firstFailure.c_str());
    const bool grew = growth > kGrowthLimit;
    if (grew)
        std::printf("heaps: grew by %lu bytes (more than %lu)\n", static_cast<unsigned long>(growth),
                    static_cast<unsigned long>(kGrowthLimit));
    else
        std::printf("heaps: no growth beyond %lu bytes\n", static_cast<unsigned long>(kGrowthLimit));
    return soak.failures == 0 && !grew && !slotsLost ? 0 : 1;
}
