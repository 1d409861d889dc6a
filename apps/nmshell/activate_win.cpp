// nmshell activate: the extension reached the way the shell reaches it, by
// its class identifier alone.  COM finds the DLL through the registration
// (InprocServer32), loads it into this single-threaded apartment, and makes
// the object; nothing here names a path or calls the DLL's exports.  One menu
// and one command, then the release and the unload COM does when asked to
// free unused libraries.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "messaging/transfer_data.h"
#include "nmshell.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/hresult_text.h"
#include "shellhost/server_module.h"

namespace {

constexpr char kDllName[] = "NMShell402.dll";

// The loaded DLL's path, or empty when it is not loaded in this process.
std::string LoadedPath() {
    HMODULE module = GetModuleHandleA(kDllName);
    if (module == nullptr)
        return {};
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

// The file version from the DLL's version resource, "a.b.c.d", or a reason.
std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return "none (error " + std::to_string(GetLastError()) + ")";
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixedSize < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE)
        return "unreadable";
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                  fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
    return text;
}

void PrintLoaded(const char* when) {
    const std::string path = LoadedPath();
    std::printf("%s %s\n", when, path.empty() ? "not loaded" : ("loaded from " + path).c_str());
}

bool UnloadedWithin(int ms) {
    for (int waited = 0; waited < ms && !LoadedPath().empty(); waited += 50)
        Sleep(50);
    return LoadedPath().empty();
}

// What else holds the DLL once COM has let it go: a command's messenger
// thread keeps a reference of its own until it ends.  It ends on the close
// request the command sends as it finishes, normally at once; a close
// request that came before the thread had opened its pipe found nobody, and
// the thread waits on for another one.  That one is sent here, as the
// command would have, and the DLL must then go with the thread: nothing
// else may hold it.
void AwaitMessengerThread() {
    if (UnloadedWithin(1000)) {
        PrintLoaded("once its thread ended:");
        return;
    }
    // The extension's own pipe, "Router" and its identity (the pipe name the
    // protocol gives every component).
    const std::string pipeName = "\\\\.\\pipe\\Router" + std::to_string(NMShellExt);
    HANDLE pipe = CreateFileA(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const BYTE closeByte = TransferData::kCloseByte;
    const bool sent = pipe != INVALID_HANDLE_VALUE && WriteFile(pipe, &closeByte, 1, &written, nullptr) && written == 1;
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(pipe);
    std::printf("messenger thread still waiting on %s: close request %s\n", pipeName.c_str(),
                sent ? "sent" : "not deliverable");
    PrintLoaded(UnloadedWithin(10000) ? "once its thread ended:" : "10 s later:");
}

int Activate(unsigned long offset, const std::vector<std::string>& paths) {
    PrintLoaded("before activation:");
    IShellExtInit* init = nullptr;
    HRESULT hr = CoCreateInstance(kExtensionClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                  reinterpret_cast<void**>(&init));
    std::printf("CoCreateInstance(CLSCTX_INPROC_SERVER, IID_IShellExtInit): %s\n", HresultText(hr).c_str());
    if (FAILED(hr)) {
        PrintLoaded("after the failure:");
        return 1;
    }
    PrintLoaded("activated:");
    std::printf("file version: %s\n", FileVersion(LoadedPath()).c_str());

    IContextMenu* menu = nullptr;
    hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (FAILED(hr)) {
        std::printf("QueryInterface(IID_IContextMenu): %s\n", HresultText(hr).c_str());
        init->Release();
        return 1;
    }
    DropDataObject* data = DropDataObject::Create(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    init->Release();
    std::printf("Initialize: %s (%zu path(s))\n", HresultText(hr).c_str(), paths.size());

    HMENU hmenu = CreatePopupMenu();
    hr = menu->QueryContextMenu(hmenu, 0, 1, 0x7FFF, CMF_NORMAL);
    std::printf("QueryContextMenu: %s, %d menu item(s)\n", HresultText(hr).c_str(), GetMenuItemCount(hmenu));

    InvokeOffset(menu, offset);
    DestroyMenu(hmenu);
    std::printf("last Release: %lu\n", static_cast<unsigned long>(menu->Release()));

    // An apartment-model server in a single-threaded apartment is freed at
    // once, without the delay COM gives servers of the other models.
    CoFreeUnusedLibraries();
    PrintLoaded("after CoFreeUnusedLibraries:");
    if (!LoadedPath().empty())
        AwaitMessengerThread();
    return 0;
}

}  // namespace

int RunActivate(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty())
        return 2;
    char* end = nullptr;
    const unsigned long offset = std::strtoul(args[0].c_str(), &end, 10);
    if (*end != '\0' || offset > 0xFFFF)
        return 2;
    const HRESULT hr = CoInitialize(nullptr);  // the shell's threads are single-threaded apartments
    if (FAILED(hr)) {
        std::printf("CoInitialize: %s\n", HresultText(hr).c_str());
        return 1;
    }
    const int rc = Activate(offset, std::vector<std::string>(args.begin() + 1, args.end()));
    CoUninitialize();
    return rc;
}
