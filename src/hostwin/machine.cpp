// The parts of the control panel that belong to no single area.
#include "machine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <mutex>

#include "ansi_names.h"
#include "clock_state.h"
#include "drives_state.h"
#include "faults.h"
#include "files_internal.h"
#include "handles.h"
#include "media_state.h"
#include "process_table.h"
#include "registry_store.h"

namespace hostwin {
namespace detail {
namespace {

struct SharedSettings {
    std::mutex mutex;
    OsVersion version;
    bool folderKnown = false;
    std::string folder;
};

SharedSettings& Settings() {
    static SharedSettings s;
    return s;
}

}  // namespace

OsVersion CurrentOsVersion() {
    MachineFolder();  // a shared machine's settings are read on first use
    std::lock_guard lock(Settings().mutex);
    return Settings().version;
}

void SetOsVersion(const OsVersion& v) {
    std::lock_guard lock(Settings().mutex);
    Settings().version = v;
}

namespace {

std::map<std::string, std::string> ReadConfig(const std::string& folder) {
    std::map<std::string, std::string> config;
    std::ifstream in(folder + "/machine.conf");
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            config[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return config;
}

}  // namespace

std::string MachineFolder() {
    std::string folder;
    {
        std::lock_guard lock(Settings().mutex);
        if (Settings().folderKnown)
            return Settings().folder;
        const char* env = std::getenv("HOSTWIN_MACHINE");
        Settings().folder = env ? env : "";
        Settings().folderKnown = true;
        folder = Settings().folder;
    }
    if (!folder.empty())
        for (const auto& [key, value] : ReadConfig(folder))
            ApplySharedSetting(key, value);
    return folder;
}

void SaveSharedSetting(const std::string& key, const std::string& value) {
    const std::string folder = MachineFolder();
    if (folder.empty())
        return;
    auto config = ReadConfig(folder);
    config[key] = value;
    const std::string temp = folder + "/machine.conf.tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto& [k, v] : config)
            out << k << '=' << v << '\n';
    }
    std::rename(temp.c_str(), (folder + "/machine.conf").c_str());
}

void ApplySharedSetting(const std::string& key, const std::string& value) {
    if (key == "version") {
        std::istringstream in(value);
        OsVersion v;
        in >> v.platform >> v.major >> v.minor >> v.build;
        SetOsVersion(v);
    } else if (key == "drives" || key == "cwd" || key == "sysdir") {
        ApplyDriveSetting(key, value);
    } else if (key == "codepage") {
        SetCodePage(static_cast<unsigned>(std::stoul(value)));
    } else if (key == "nomedium") {
        ApplyMediaSetting(value);
    }
}

void SetMachineFolder(const std::string& folder) {
    std::lock_guard lock(Settings().mutex);
    Settings().folder = folder;
    Settings().folderKnown = true;
}

void CloseAllRegistryHandles();
size_t OpenRegistryHandles();

}  // namespace detail

void Machine::Reset() {
    SetOsVersion(OsVersion{});
    SetCodePage(1252);
    detail::ResetClock();
    detail::SetVirtualSleep(false);
    SetTimeZone(0, 0, 0, 0);  // UTC, no zone rules
    detail::ClearFailures();
    ClearRegistry();
    detail::CloseAllRegistryHandles();
    detail::ResetDrives();
    detail::ResetVolumes();
    detail::ResetNtFiles();
    ClearMessageBoxes();
    SetMessageBoxAnswer(1);  // IDOK
    OnMessageBox(nullptr);
    OnApiCall(nullptr);
    OnSearch(nullptr);
    HoldNewThreads(false);
    detail::ResetMedia();
    detail::ResetProcessTable();
}

size_t Machine::OpenHandles() { return detail::OpenHandleCount(); }

void Machine::Attach(const std::string& folder) {
    detail::SetMachineFolder(folder);
    ::setenv("HOSTWIN_MACHINE", folder.c_str(), 1);
}

void Machine::SetOsVersion(const OsVersion& v) {
    detail::SetOsVersion(v);
    detail::SaveSharedSetting("version", std::to_string(v.platform) + " " + std::to_string(v.major) + " " +
                                             std::to_string(v.minor) + " " + std::to_string(v.build));
}

void Machine::SetCodePage(UINT codePage) {
    detail::SetCodePage(codePage);
    detail::SaveSharedSetting("codepage", std::to_string(detail::CodePage()));
}

void Machine::SetWindowsNT(DWORD major, DWORD minor, DWORD build) { SetOsVersion(OsVersion{2, major, minor, build, ""}); }

void Machine::SetWindows9x(DWORD minor, DWORD build) { SetOsVersion(OsVersion{1, 4, minor, build, ""}); }

void Machine::SetLocalTime(const SYSTEMTIME& local, bool frozen) {
    LONGLONG ticks = 0;
    detail::SystemTimeToTicks(local, &ticks);
    detail::SetClockUtcTicks(ticks + detail::UtcBiasMinutes() * 60 * 10'000'000LL, frozen);
}

void Machine::AdvanceClock(LONGLONG milliseconds) { detail::AdvanceClock(milliseconds); }
void Machine::SetUtcBiasMinutes(LONGLONG bias) { SetTimeZone(static_cast<LONG>(bias), 0, 0, 0); }
void Machine::UseVirtualSleep(bool on) { detail::SetVirtualSleep(on); }
LONGLONG Machine::VirtualSleptMs() { return detail::VirtualSleptMs(); }

bool Machine::ImportRegistry(std::string_view regText, std::string* error) {
    auto& store = detail::RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    store.SyncFromDisk();
    std::string ignored;
    const bool ok = detail::ImportRegText(regText, error ? error : &ignored);
    store.Changed();
    return ok;
}

std::string Machine::ExportRegistry(std::string_view keyPath) {
    detail::RegRoot root;
    std::vector<std::string> path;
    if (!detail::ParseRootName(keyPath, &root, &path))
        return "REGEDIT4\r\n\r\n";
    auto& store = detail::RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    store.SyncFromDisk();
    return detail::ExportRegText(root, path);
}

void Machine::ClearRegistry() {
    auto& store = detail::RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    store.Clear();
    store.Changed();
}

size_t Machine::OpenRegistryHandles() { return detail::OpenRegistryHandles(); }

void Machine::FailNext(const char* api, DWORD error, int times) { detail::ArmFailure(api, error, times); }
void Machine::ShortenWrite(DWORD bytes, int nth) { detail::ArmShortWrite(bytes, nth); }
void Machine::ClearFailures() { detail::ClearFailures(); }
void Machine::OnApiCall(std::function<void(const char* api)> hook) { detail::SetApiCallHook(std::move(hook)); }

}  // namespace hostwin
