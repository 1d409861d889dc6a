// Writes a shortcut with the system shell's own writer, for the Wine suite:
//   nm_make_shortcut OUT.lnk TARGET
// IShellLinkA::SetPath, then IPersistFile::Save; prints "saved" or the
// failing step and its HRESULT.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: nm_make_shortcut OUT.lnk TARGET\n", stderr);
        return 2;
    }
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) {
        std::printf("CoCreateInstance: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    hr = link->SetPath(argv[2]);
    if (FAILED(hr)) {
        std::printf("SetPath: 0x%08lX\n", static_cast<unsigned long>(hr));
        link->Release();
        return 1;
    }
    IPersistFile* file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        WCHAR path[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH);
        hr = file->Save(path, TRUE);
        file->Release();
    }
    link->Release();
    CoUninitialize();
    if (FAILED(hr)) {
        std::printf("Save: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::puts("saved");
    return 0;
}
