// What one context menu costs: Initialize, QueryContextMenu (which reloads
// every setting from the registry) and DestroyMenu, against a baseline that
// makes only the platform calls this work cannot avoid: the same registry
// opens, queries and closes, the same drive and folder queries, the same
// menu rows.  The ratio of the two is the figure that counts; the absolute
// times depend on the machine.  Win32 calls only, so that the same source
// runs on the host and under Wine.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_machine.h"
#include "figure.h"
#include "platform/win32.h"
#include "settings/reg_key.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/linked_extension.h"

namespace {

volatile unsigned g_sink;  // keeps the compiler from dropping the measured work

const std::vector<std::string> kSelection = {"C:\\docs\\report.txt", "C:\\docs\\budget.xls"};

// The settings in the order the load reads them; the two subkeys are lists.
const char* const kLoadOrder[] = {"ADM", "DCCDA", "DCE", "DCG", "DCLC", "DCO", "DCSL", "DCSI", "DCT",
                                  "DCU", "DSL", "DSP", "DSC", "EFR", "EGP", "EGPL", "EHU", "ELCC",
                                  "ENST", "Base Top", "Base Left", "Agent Top", "Agent Left", "PG", "PP",
                                  "PPH", "LLC"};

bool IsSubkey(const char* name) { return std::strcmp(name, "DCT") == 0 || std::strcmp(name, "DCE") == 0; }

void SetValue(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

// Every value of the settings key, with sizes as the product writes them.
void SeedSettings(bool withDriveSpaceList) {
    // Emptied through handles in the product's view, where it reads them.
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS | kSettingsView, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(key, "DCT");
        RegDeleteKeyA(key, "DCE");
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\Greyfell\\VI4", 0, KEY_ALL_ACCESS | kSettingsView, &key) ==
        ERROR_SUCCESS) {
        RegDeleteKeyA(key, "Settings");
        RegCloseKey(key);
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kSettingsView, nullptr, &key,
                        nullptr) !=
        ERROR_SUCCESS)
        return;
    const std::string stamp = Bytes({3, 2, 7, 5, 0x89, 5, 9, 0});
    const std::string record = Bytes({'C', 0, 1, 0}) + stamp + stamp;
    SetValue(key, "ADM", REG_BINARY, Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    SetValue(key, "DCCDA", REG_BINARY, record + record);
    SetValue(key, "DCG", REG_BINARY, Bytes({0xFF, 0xCE, 0x06, 0}));
    SetValue(key, "DCLC", REG_BINARY, Bytes({14}));
    SetValue(key, "DCO", REG_BINARY, Bytes({1}));
    SetValue(key, "DCSL", REG_BINARY, stamp + stamp);
    SetValue(key, "DCSI", REG_BINARY, stamp);
    SetValue(key, "DCU", REG_BINARY, Bytes({0}));
    if (withDriveSpaceList)
        SetValue(key, "DSL", REG_BINARY, Bytes({3, 0, 5, 'C', 5, 'D', 5, 'G'}));
    for (const char* name : {"DSP", "DSC", "ELCC", "Base Top", "Base Left", "Agent Top", "Agent Left", "PG"})
        SetValue(key, name, REG_BINARY, Bytes({0x0B, 0, 0, 0}));
    for (const char* name : {"EFR", "EGP", "EGPL", "EHU"})
        SetValue(key, name, REG_BINARY, Bytes({4}));
    SetValue(key, "ENST", REG_BINARY, stamp);
    SetValue(key, "LLC", REG_BINARY, stamp);
    SetValue(key, "PP", REG_DWORD, Bytes({1, 0, 0, 0}));
    SetValue(key, "PPH", REG_SZ, std::string("C:\\Program Files\\Nullmark", 26));
    for (const char* sub : {"DCT", "DCE"}) {
        HKEY list;
        if (RegCreateKeyExA(key, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &list, nullptr) == ERROR_SUCCESS) {
            SetValue(list, "C:\\TEMP", REG_BINARY, Bytes({1}));
            SetValue(list, "C:\\WINDOWS\\TEMP", REG_BINARY, Bytes({0}));
            RegCloseKey(list);
        }
    }
    RegCloseKey(key);
}

// 100 small files in each fixed drive's secured-space folder: below the
// pruning size, so that every measurement finds them again.
void FillSecuredSpace() {
    for (const char* d = nmbench::kFixedDrives; *d != '\0'; ++d) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "%c:\\Nullmark Secured Space", *d);
        CreateDirectoryA(folder, nullptr);
        for (int i = 0; i < 100; ++i) {
            char path[96];
            std::snprintf(path, sizeof path, "%s\\%016X.T~P", folder, i + 1);
            HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                continue;
            char block[100] = {};
            DWORD written = 0;
            WriteFile(file, block, sizeof block, &written, nullptr);
            CloseHandle(file);
        }
    }
}

// One menu as the shell makes it.
void WholeMenu(LinkedExtension& ext, DropDataObject* data) {
    ext.init()->Initialize(nullptr, data, nullptr);
    HMENU menu = CreatePopupMenu();
    const HRESULT hr = ext.menu()->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
    DestroyMenu(menu);
    g_sink = g_sink + static_cast<unsigned>(hr);
}

// --- the baseline: the platform calls alone

void InitializeCalls(IDataObject* data) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return;
    const auto drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[MAX_PATH];
        DragQueryFileA(drop, i, path, MAX_PATH);
    }
    ReleaseStgMedium(&medium);
}

// Each setting: open the key, read the value (or enumerate the list), close.
// Returns whether "DSL" was there.
bool RegistryCalls() {
    bool haveList = false;
    for (const char* name : kLoadOrder) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | kSettingsView, &key) != ERROR_SUCCESS)
            continue;
        BYTE data[1024];
        if (IsSubkey(name)) {
            HKEY list;
            if (RegOpenKeyExA(key, name, 0, KEY_READ, &list) == ERROR_SUCCESS) {
                DWORD values = 0;
                RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr);
                for (DWORD i = 0; i < values; ++i) {
                    char valueName[260];
                    DWORD nameSize = sizeof valueName, size = sizeof data;
                    RegEnumValueA(list, i, valueName, &nameSize, nullptr, nullptr, data, &size);
                }
                RegCloseKey(list);
            }
        } else {
            DWORD size = sizeof data;
            const bool read = RegQueryValueExA(key, name, nullptr, nullptr, data, &size) == ERROR_SUCCESS;
            if (std::strcmp(name, "DSL") == 0)
                haveList = read;
        }
        RegCloseKey(key);
    }
    return haveList;
}

void DriveCalls(bool haveList) {
    if (haveList) {
        for (const char* d = nmbench::kFixedDrives; *d != '\0'; ++d) {
            char root[4] = {*d, ':', '\\', '\0'};
            GetDriveTypeA(root);
        }
        return;
    }
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i)))
            continue;
        char root[4] = {static_cast<char>('A' + i), ':', '\\', '\0'};
        if (GetDriveTypeA(root) != DRIVE_FIXED)
            continue;
        char pattern[64];
        std::snprintf(pattern, sizeof pattern, "%c:\\Nullmark Secured Space\\*.T~P", 'A' + i);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        while (FindNextFileA(search, &found)) {
        }
        FindClose(search);
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        HMODULE kernel = LoadLibraryA("kernel32.dll");
        using FreeSpaceFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
        auto query = reinterpret_cast<FreeSpaceFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
        ULARGE_INTEGER a, b, c;
        if (query != nullptr)
            query(root, &a, &b, &c);
        FreeLibrary(kernel);
    }
}

void MenuCalls(const char* firstPath) {
    char systemDirectory[MAX_PATH];
    IsCharAlphaA(firstPath[0]);
    GetSystemDirectoryA(systemDirectory, MAX_PATH);
    char root[4] = {firstPath[0], ':', '\\', '\0'};
    GetDriveTypeA(root);

    HMENU shell = CreatePopupMenu();
    InsertMenuA(shell, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    HMENU sub = CreatePopupMenu();
    const char* const rows[] = {"VUZ Selected File(s)", nullptr, "Deep Clean Drive C:", "Quick Clean Drive C:",
                                "Scan Drives for Deleted Data", nullptr, "Nullmark Configuration"};
    UINT id = 1;
    for (UINT i = 0; i < 7; ++i) {
        if (rows[i] == nullptr)
            InsertMenuA(sub, i, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        else
            InsertMenuA(sub, i, MF_BYPOSITION | MF_STRING, id++, rows[i]);
    }
    char title[] = "Nullmark";
    MENUITEMINFOA item{};
    item.cbSize = offsetof(MENUITEMINFOA, hbmpItem);
    item.fMask = MIIM_SUBMENU | MIIM_TYPE;
    item.hSubMenu = sub;
    item.dwTypeData = title;
    item.cch = 8;
    InsertMenuItemA(shell, 1, TRUE, &item);
    InsertMenuA(shell, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    DestroyMenu(shell);
}

void PlatformCallsOnly(DropDataObject* data) {
    InitializeCalls(data);
    DriveCalls(RegistryCalls());
    MenuCalls(kSelection[0].c_str());
}

// A sample is as many menus as take about 0.3 ms (or one menu), the same
// count for the work and the baseline; the figure is per menu.  Short
// samples: on a busy machine most pairs then fit into one time slice of the
// scheduler, and the few it interrupts are tails.
constexpr int kPairs = 1001;
constexpr int kWarmupPairs = 20;
constexpr double kSampleUs = 300;

bool Situation(const char* subject, LinkedExtension& ext, DropDataObject* data) {
    const auto timed = [](int runs, auto&& step) {
        const auto start = nmbench::Clock::now();
        for (int i = 0; i < runs; ++i)
            step();
        return nmbench::MicrosecondsSince(start) / runs;
    };
    const int runs = nmbench::RunsPerSample([&] { return timed(1, [&] { WholeMenu(ext, data); }); }, kSampleUs);
    return nmbench::MeasurePairs(
        {subject, nmbench::Ratio::Cost, "us", "the mandated calls", 1.1, "per menu"}, kPairs, kWarmupPairs,
        [&] { return timed(runs, [&] { WholeMenu(ext, data); }); },
        [&] { return timed(runs, [&] { PlatformCallsOnly(data); }); });
}

}  // namespace

int main() {
    nmbench::PrepareMachine();
    LinkedExtension ext;
    if (ext.menu() == nullptr) {
        std::puts("menu: no extension");
        return 1;
    }
    DropDataObject* data = DropDataObject::Create(kSelection);
    SeedSettings(true);
    bool ok = Situation("menu, every registry value present", ext, data);
    SeedSettings(false);
    FillSecuredSpace();
    ok = Situation("menu, no DSL, 3 fixed drives x 100 secured files", ext, data) && ok;
    data->Release();
    return ok ? 0 : 1;
}
