// nmshell invoke: a command chosen the way the shell passes it on.  The menu
// is built first, as the shell always does before it invokes anything; then
// InvokeCommand gets the command offset as its verb.  Boxes the command shows
// are printed (and answered) while it runs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "box_watch.h"
#include "nmshell.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/hresult_text.h"
#include "shellhost/server_module.h"

HRESULT InvokeOffset(IContextMenu* menu, unsigned long offset) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    std::fflush(stdout);
    HRESULT hr;
    {
        BoxWatch boxes;
        hr = menu->InvokeCommand(&info);
    }
    std::printf("InvokeCommand(%lu): %s\n", offset, HresultText(hr).c_str());
    return hr;
}

namespace {

constexpr UINT kIdCmdFirst = 1;
constexpr UINT kIdCmdLast = 0x7FFF;

}  // namespace

void PrintBox(const char* title, const char* text) {
    std::printf("message box \"%s\":\n", title);
    std::string line;
    for (const char* p = text;; ++p) {
        if (*p == '\n' || *p == '\0') {
            std::printf("  %s\n", line.c_str());
            line.clear();
            if (*p == '\0')
                break;
        } else {
            line += *p;
        }
    }
    std::fflush(stdout);
}

int RunInvoke(ServerModule& server, const std::vector<std::string>& args) {
    char* end = nullptr;
    if (args.empty() || args[0].empty())
        return 2;
    const unsigned long offset = std::strtoul(args[0].c_str(), &end, 10);
    if (*end != '\0' || offset > 0xFFFF)
        return 2;
    const std::vector<std::string> paths(args.begin() + 1, args.end());

    IContextMenu* menu = nullptr;
    HRESULT hr = server.CreateExtension(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (FAILED(hr)) {
        std::printf("CreateInstance(IID_IContextMenu): %s\n", HresultText(hr).c_str());
        return 1;
    }
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    DropDataObject* data = DropDataObject::Create(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    init->Release();
    if (FAILED(hr))
        std::printf("Initialize: %s\n", HresultText(hr).c_str());

    HMENU hmenu = CreatePopupMenu();
    hr = menu->QueryContextMenu(hmenu, 0, kIdCmdFirst, kIdCmdLast, CMF_NORMAL);
    std::printf("QueryContextMenu: %u command(s)\n", static_cast<unsigned>(HRESULT_CODE(hr)));

    InvokeOffset(menu, offset);

    DestroyMenu(hmenu);
    menu->Release();
    return 0;
}
