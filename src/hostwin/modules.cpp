#include "modules.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "errors.h"
#include "faults.h"
#include "machine.h"
#include "machine_state.h"
#include "registry_store.h"
#include "threads.h"

namespace hostwin::detail {
namespace {

struct Module {
    std::string name;
    std::map<std::string, FARPROC> exports;
    std::set<std::string> ntFamilyOnly;
    BOOL(WINAPI* entry)(HINSTANCE, DWORD, LPVOID) = nullptr;
    int loads = 0;
    bool program = false;  // the program's own image: loaded for good
};

std::recursive_mutex g_mutex;
// Never destroyed, as the list below: a thread that holds a module (a
// receiving thread Close could not wait for) may still end as the program does.
std::condition_variable_any& LoadsChanged() {
    static auto* changed = new std::condition_variable_any;
    return *changed;
}

std::string ProgramPath() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return std::string(self, n > 0 ? static_cast<size_t>(n) : 0);
}

// The program comes first, as the executable heads the loader's module list.
std::vector<std::unique_ptr<Module>>& Modules() {
    static auto* modules = new std::vector<std::unique_ptr<Module>>([] {
        std::vector<std::unique_ptr<Module>> list;
        auto program = std::make_unique<Module>();
        const std::string path = ProgramPath();
        program->name = path.substr(path.find_last_of('/') + 1);
        program->loads = 1;
        program->program = true;
        list.push_back(std::move(program));
        return list;
    }());
    return *modules;
}

Module* Program() { return Modules().front().get(); }

std::string BaseName(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

Module* FindByName(std::string_view name) {
    std::string base = BaseName(name);
    for (auto& m : Modules()) {
        if (SameName(m->name, base))
            return m.get();
        // "kernel32" finds "Kernel32.dll", as the loader adds the extension.
        if (base.find('.') == std::string::npos && SameName(m->name, base + ".dll"))
            return m.get();
    }
    return nullptr;
}

Module* FindByHandle(HMODULE handle) {
    for (auto& m : Modules())
        if (reinterpret_cast<HMODULE>(m.get()) == handle)
            return m.get();
    return nullptr;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (FailIfInjected("LoadLibraryA"))
        return nullptr;
    std::lock_guard lock(g_mutex);
    Module* m = lpLibFileName ? FindByName(lpLibFileName) : nullptr;
    if (m == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto handle = reinterpret_cast<HMODULE>(m);
    if (m->program)
        return handle;
    if (m->loads++ == 0 && m->entry != nullptr)
        m->entry(handle, DLL_PROCESS_ATTACH, nullptr);
    return handle;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (FailIfInjected("GetProcAddress"))
        return nullptr;
    std::lock_guard lock(g_mutex);
    Module* m = FindByHandle(hModule);
    if (m == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto it = lpProcName ? m->exports.find(lpProcName) : m->exports.end();
    const bool absent = it != m->exports.end() && m->ntFamilyOnly.count(it->first) != 0 &&
                        CurrentOsVersion().platform != 2;  // Windows 95/98/Me
    if (it == m->exports.end() || absent) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    std::lock_guard lock(g_mutex);
    Module* m = FindByHandle(hLibModule);
    if (m == nullptr || m->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m->program)
        return TRUE;
    if (--m->loads == 0 && m->entry != nullptr)
        m->entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    LoadsChanged().notify_all();
    return TRUE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode) {
    FreeLibrary(hLibModule);
    ExitThread(dwExitCode);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    std::lock_guard lock(g_mutex);
    Module* m = lpModuleName ? FindByName(lpModuleName) : Program();
    if (m == nullptr || m->loads == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(m);
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string name;
    {
        std::lock_guard lock(g_mutex);
        Module* m = hModule == nullptr ? Program() : FindByHandle(hModule);
        if (m == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        name = m->program ? ProgramPath() : m->name;
    }
    if (nSize == 0 || lpFilename == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Cut to the buffer and report ERROR_INSUFFICIENT_BUFFER, as XP and later do.
    const size_t copied = std::min<size_t>(name.size(), nSize - 1);
    std::memcpy(lpFilename, name.data(), copied);
    lpFilename[copied] = '\0';
    if (copied < name.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(copied);
}

namespace hostwin {

void Machine::RegisterModule(const std::string& name, const std::vector<ModuleExport>& exports,
                             BOOL(WINAPI* entry)(HINSTANCE, DWORD, LPVOID)) {
    std::lock_guard lock(g_mutex);
    Module* m = FindByName(name);
    if (m == nullptr) {
        Modules().push_back(std::make_unique<Module>());
        m = Modules().back().get();
    }
    m->name = BaseName(name);
    m->exports.clear();
    m->ntFamilyOnly.clear();
    for (const ModuleExport& e : exports) {
        m->exports[e.name] = e.address;
        if (e.ntFamilyOnly)
            m->ntFamilyOnly.insert(e.name);
    }
    m->entry = entry;
}

bool Machine::RemoveExport(const std::string& module, const std::string& exportName) {
    std::lock_guard lock(g_mutex);
    Module* m = FindByName(module);
    return m != nullptr && m->exports.erase(exportName) == 1;
}

int Machine::ModuleLoadCount(const std::string& module) {
    std::lock_guard lock(g_mutex);
    Module* m = FindByName(module);
    return m ? m->loads : 0;
}

bool Machine::WaitForModuleUnload(const std::string& module, DWORD milliseconds) {
    std::unique_lock lock(g_mutex);
    return LoadsChanged().wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        Module* m = FindByName(module);
        return m == nullptr || m->loads == 0;
    });
}

}  // namespace hostwin
