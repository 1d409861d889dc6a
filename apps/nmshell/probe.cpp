// nmshell probe: the life of one extension object, as the shell drives it,
// with what the object captured.  The object's fields are read through the
// class's own layout: nmshell is built from the same source as the DLL.
#include <cstdio>

#include "nmshell.h"
#include "shellext/shell_extension.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/hresult_text.h"
#include "shellhost/server_module.h"

namespace {

const char* YesNo(bool b) { return b ? "yes" : "no"; }

}  // namespace

int RunProbe(ServerModule& server, const std::vector<std::string>& paths) {
    std::printf("DllCanUnloadNow before activation: %s\n", HresultText(server.CanUnloadNow()).c_str());

    IShellExtInit* init = nullptr;
    HRESULT hr = server.CreateExtension(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    std::printf("CreateInstance(IID_IShellExtInit): %s\n", HresultText(hr).c_str());
    if (FAILED(hr))
        return 1;

    IUnknown* identity = nullptr;
    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    void* other = nullptr;
    const HRESULT hrOther = init->QueryInterface(IID_IClassFactory, &other);
    std::printf("QueryInterface: IUnknown is IShellExtInit: %s; IContextMenu is a separate interface: %s; "
                "IClassFactory: %s\n",
                YesNo(static_cast<void*>(identity) == static_cast<void*>(init)),
                YesNo(menu != nullptr && static_cast<void*>(menu) != static_cast<void*>(init)),
                HresultText(hrOther).c_str());
    const ULONG afterAddRef = menu->AddRef();
    const ULONG afterRelease = init->Release();
    std::printf("reference count: AddRef through IContextMenu -> %lu, Release through IShellExtInit -> %lu\n",
                static_cast<unsigned long>(afterAddRef), static_cast<unsigned long>(afterRelease));
    identity->Release();

    DropDataObject* data = DropDataObject::Create(paths);
    hr = init->Initialize(nullptr, data, nullptr);
    std::printf("Initialize: %s (data object references while held: %lu)\n", HresultText(hr).c_str(),
                static_cast<unsigned long>(data->RefCount()));

    const auto* object = static_cast<const ShellExtension*>(menu);
    std::printf("platform: %s\n", object->IsWin9x() ? "Windows 95/98/Me" : "Windows NT family");
    std::printf("selection: %lu item(s)\n", static_cast<unsigned long>(object->SelectionCount()));
    for (size_t i = 0; i < object->Selection().size(); ++i)
        std::printf("  [%zu] %s\n", i, object->Selection()[i].c_str());

    std::printf("DllCanUnloadNow while the object lives: %s\n", HresultText(server.CanUnloadNow()).c_str());
    const ULONG left = menu->Release();
    const ULONG last = init->Release();
    std::printf("Release: %lu, then %lu\n", static_cast<unsigned long>(left), static_cast<unsigned long>(last));
    std::printf("data object references after the release: %lu\n", static_cast<unsigned long>(data->RefCount()));
    data->Release();
    std::printf("DllCanUnloadNow after the release: %s\n", HresultText(server.CanUnloadNow()).c_str());
    return 0;
}
