// Many commands in one process, as a long-lived Explorer runs them: the DLL
// beside this program loaded once, then for each command a new extension
// object, the selection, the menu, InvokeCommand and the release.  After one
// command to settle, each run of COMMANDS commands is measured by what it
// leaves behind: the handle value the next kernel object gets (Windows hands
// out the lowest free slot, so a leaked handle shows) and the process's
// thread count.
//   nm_command_soak RUNS COMMANDS OFFSET PATH...
// One line per run, "soak: R runs, N left something behind", then whether the
// DLL went once the server was released; exit status 1 when N > 0 or it
// stayed.  The command's destination must be running: a box would wait.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shellhost/drop_data_object.h"
#include "shellhost/server_module.h"

namespace {

ULONG_PTR NextHandle() {
    HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<ULONG_PTR>(probe);
}

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

bool RunCommand(const ServerModule& server, UINT offset, const std::vector<std::string>& paths) {
    IContextMenu* menu = nullptr;
    if (FAILED(server.CreateExtension(IID_IContextMenu, reinterpret_cast<void**>(&menu))))
        return false;
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    DropDataObject* data = DropDataObject::Create(paths);
    HRESULT hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    init->Release();
    HMENU hmenu = CreatePopupMenu();
    if (SUCCEEDED(hr))
        hr = menu->QueryContextMenu(hmenu, 0, 1, 0x7FFF, CMF_NORMAL);
    if (SUCCEEDED(hr)) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        info.nShow = SW_SHOWNORMAL;
        hr = menu->InvokeCommand(&info);
    }
    DestroyMenu(hmenu);
    menu->Release();
    return SUCCEEDED(hr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: nm_command_soak RUNS COMMANDS OFFSET PATH...\n", stderr);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int commands = std::atoi(argv[2]);
    const UINT offset = static_cast<UINT>(std::atoi(argv[3]));
    const std::vector<std::string> paths(argv + 4, argv + argc);

    ServerModule server;
    std::string error;
    if (!server.Load(DefaultServerPath(), &error)) {
        std::fprintf(stderr, "nm_command_soak: %s\n", error.c_str());
        return 1;
    }
    if (!RunCommand(server, offset, paths)) {
        std::puts("soak: the first command failed");
        return 1;
    }
    int leaving = 0;
    for (int run = 1; run <= runs; ++run) {
        const ULONG_PTR handleBefore = NextHandle();
        const int threadsBefore = ThreadCount();
        const DWORD started = GetTickCount();
        int failed = 0;
        for (int i = 0; i < commands; ++i)
            failed += !RunCommand(server, offset, paths);
        const DWORD ms = GetTickCount() - started;
        const ULONG_PTR handleAfter = NextHandle();
        const int threadsAfter = ThreadCount();
        const bool flat = handleAfter == handleBefore && threadsAfter == threadsBefore && failed == 0;
        leaving += !flat;
        std::printf("run %d: %d commands (%d failed) in %lu ms, next handle 0x%lx -> 0x%lx, threads %d -> %d%s\n", run,
                    commands, failed, static_cast<unsigned long>(ms), static_cast<unsigned long>(handleBefore),
                    static_cast<unsigned long>(handleAfter), threadsBefore, threadsAfter, flat ? "" : "  LEFT BEHIND");
        std::fflush(stdout);
    }
    std::printf("soak: %d runs, %d left something behind\n", runs, leaving);
    // The shell's FreeLibrary once DllCanUnloadNow says S_OK: nothing of the
    // commands may keep the DLL loaded.
    const HRESULT canUnload = server.CanUnloadNow();
    server.Unload();
    const bool unloaded = GetModuleHandleA("NMShell402.dll") == nullptr;
    std::printf("DllCanUnloadNow: %s, then the DLL %s\n", canUnload == S_OK ? "S_OK" : "S_FALSE",
                unloaded ? "unloaded" : "stayed loaded");
    return leaving == 0 && unloaded ? 0 : 1;
}
