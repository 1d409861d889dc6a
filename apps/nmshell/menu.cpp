// nmshell menu: the context menu built the way the shell builds it, then read
// back item by item and printed as a person sees it, with the help text that
// the shell's status bar would show for each command.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nmshell.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/hresult_text.h"
#include "shellhost/menu_reader.h"
#include "shellhost/server_module.h"
#include "show_menu.h"

namespace {

// A host hands out identifiers from 1: TrackPopupMenu answers 0 for "nothing
// chosen", so 0 can never be a command.  0x7FFF is the top of the range that
// the shell's own view keeps for its handlers.
constexpr UINT kIdCmdFirst = 1;
constexpr UINT kIdCmdLast = 0x7FFF;

bool ShellIsWin9x() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// The help text as the platform's shell asks for it: UTF-16 on the NT
// family, ANSI on Windows 95/98/Me.  The texts are plain ASCII; anything
// else would show as '?'.
std::string HelpText(IContextMenu* menu, UINT offset, bool win9x) {
    if (win9x) {
        char text[128] = {};
        menu->GetCommandString(offset, GCS_HELPTEXTA, nullptr, text, sizeof text);
        return text;
    }
    WCHAR wide[128] = {};
    menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide), 128);
    std::string text;
    for (size_t i = 0; i < 128 && wide[i] != 0; ++i)
        text += wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
    return text;
}

void PrintMenu(HMENU hmenu, IContextMenu* menu, bool win9x, int depth) {
    const std::string indent(2 + 4 * depth, ' ');
    const std::vector<MenuItemRead> items = ReadMenuItems(hmenu);
    for (size_t n = 0; n < items.size(); ++n) {
        const MenuItemRead& item = items[n];
        const int i = static_cast<int>(n);
        if (!item.readable) {
            std::printf("%s[%d] (unreadable, error %lu)\n", indent.c_str(), i, static_cast<unsigned long>(item.error));
            continue;
        }
        const char* grayed = item.grayed ? "  [grayed]" : "";
        if (item.separator) {
            std::printf("%s[%d] ----------------\n", indent.c_str(), i);
        } else if (item.submenu != nullptr) {
            const bool same = GetSubMenu(hmenu, i) == item.submenu && IsMenu(item.submenu);
            std::printf("%s[%d] %s >%s  (submenu: %d item(s)%s)\n", indent.c_str(), i, item.text.c_str(), grayed,
                        GetMenuItemCount(item.submenu), same ? "" : ", handle does not match GetSubMenu");
            PrintMenu(item.submenu, menu, win9x, depth + 1);
        } else {
            std::printf("%s[%d] id %u: %s%s\n", indent.c_str(), i, item.id, item.text.c_str(), grayed);
            if (item.id >= kIdCmdFirst && item.id <= kIdCmdLast)
                std::printf("%s    help: %s\n", indent.c_str(), HelpText(menu, item.id - kIdCmdFirst, win9x).c_str());
        }
    }
}

}  // namespace

int RunMenu(ServerModule& server, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    UINT flags = CMF_NORMAL;
    bool show = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--show")
            show = true;
        else if (args[i] == "--flags" && i + 1 < args.size())
            flags = static_cast<UINT>(std::strtoul(args[++i].c_str(), nullptr, 0));
        else
            paths.push_back(args[i]);
    }
    std::string noScreen;
    if (show && !CanShowMenu(&noScreen)) {
        std::fprintf(stderr, "nmshell: %s\n", noScreen.c_str());
        return 1;
    }

    IShellExtInit* init = nullptr;
    HRESULT hr = server.CreateExtension(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (FAILED(hr)) {
        std::printf("CreateInstance(IID_IShellExtInit): %s\n", HresultText(hr).c_str());
        return 1;
    }
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));

    DropDataObject* data = DropDataObject::Create(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    std::printf("Initialize: %s (%zu path(s))\n", HresultText(hr).c_str(), paths.size());

    const bool win9x = ShellIsWin9x();
    HMENU hmenu = CreatePopupMenu();
    hr = menu->QueryContextMenu(hmenu, 0, kIdCmdFirst, kIdCmdLast, flags);
    std::printf("QueryContextMenu(indexMenu 0, idCmdFirst %u, idCmdLast %u, uFlags 0x%X): %s\n", kIdCmdFirst,
                kIdCmdLast, flags, HresultText(hr).c_str());
    std::printf("help texts: %s\n", win9x ? "ANSI (GCS_HELPTEXTA, Windows 95/98/Me)" : "UTF-16 (GCS_HELPTEXTW, NT family)");
    std::printf("menu: %d item(s)\n", GetMenuItemCount(hmenu));
    PrintMenu(hmenu, menu, win9x, 0);
    const int rc = show ? ShowMenu(menu, hmenu, kIdCmdFirst, SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0) : 0;

    DestroyMenu(hmenu);
    menu->Release();
    init->Release();
    return rc;
}
