// Arbitrary bytes become the values of the settings key (names, types and
// data taken from the input), then the settings are loaded from them.
//
// Input: one byte for the operating system, two for C:'s free space class,
// then the values as registry_input.h reads them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "platform/win32.h"
#include "registry_input.h"
#include "settings/product_settings.h"
#include "shellext/exports.h"
#include "shellext/module.h"
#include "shellhost/drop_data_object.h"

namespace {

using nmfuzz::Input;

// A fixed disk with a secured-space file, so that a missing "DSL" builds a
// list, next to a removable one that a stored list must drop.
void MakeDrives() {
    hostwin::Machine::Reset();
    hostwin::Machine::DriveSetup c;
    c.letter = 'C';
    hostwin::Machine::AddDrive(c);
    hostwin::Machine::DriveSetup a;
    a.letter = 'A';
    a.type = 2;  // DRIVE_REMOVABLE
    hostwin::Machine::AddDrive(a);
    CreateDirectoryA("C:\\Nullmark Secured Space", nullptr);
    HANDLE h = CreateFileA("C:\\Nullmark Secured Space\\1.T~P", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(h, "secured", 7, &written, nullptr);
    CloseHandle(h);
    SetCurrentDirectoryA("C:\\");
}

// The context menu over the same registry: the extension reloads the settings
// itself, so every loaded value reaches the labels and the graying.  A label
// must stay within its 63 characters and every menu made must be destroyed
// with the shell's menu.
void BuildContextMenu(size_t size) {
    static const std::vector<std::string> kSelections[] = {
        {"C:\\docs\\a.txt", "C:\\docs\\b.txt"},
        {"C:\\", "A:\\", "C:"},
        {"A:\\", "B:\\", "C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "H:\\", "I:\\", "J:\\", "K:\\", "L:\\", "M:\\"},
        {"\\\\server\\share"},
        {"C:\\Start Menu"},
    };
    const size_t menusBefore = hostwin::Machine::LiveMenus();
    IClassFactory* factory = nullptr;
    DllGetClassObject(CLSID_ShellExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    IShellExtInit* init = nullptr;
    factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    factory->Release();
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    DropDataObject* data = DropDataObject::Create(kSelections[size % 5]);
    init->Initialize(nullptr, data, nullptr);
    data->Release();

    HMENU shellMenu = CreatePopupMenu();
    menu->QueryContextMenu(shellMenu, 0, 1, 0x7FFF, CMF_NORMAL);
    if (HMENU sub = GetSubMenu(shellMenu, 1)) {
        for (int i = 0; i < GetMenuItemCount(sub); ++i)
            if (GetMenuStringA(sub, static_cast<UINT>(i), nullptr, 0, MF_BYPOSITION) > 63)
                __builtin_trap();
    }
    WCHAR help[64];
    menu->GetCommandString(size % 6, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(help), 64);
    DestroyMenu(shellMenu);
    if (hostwin::Machine::LiveMenus() != menusBefore)
        __builtin_trap();
    menu->Release();
    init->Release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MakeDrives();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    hostwin::Machine::ClearRegistry();
    const uint8_t os = in.Byte();
    if (os & 1)
        hostwin::Machine::SetWindows9x(10, os & 2 ? 950 : 2222);
    else
        hostwin::Machine::SetWindowsNT();
    const ULONGLONG low = in.Byte();
    const ULONGLONG freeBytes = low << 24 | ULONGLONG{in.Byte()} << 32;
    hostwin::Machine::SetDriveSpace('C', freeBytes, freeBytes * 2);

    nmfuzz::StoreSettingsValues(&in);

    ProductSettings settings;
    settings.LoadAll();
    settings.LoadSetting(SettingId::ECD);
    settings.LoadSetting(static_cast<SettingId>(size % 40));

    BuildContextMenu(size);
    return 0;
}
