#include "shellext/shell_extension.h"

#include <new>

#include "shellext/module.h"

ShellExtension::ShellExtension()
    : refCount(0), dataObject(nullptr), isWin9x(false), selectionCount(0), quickClean(0) {
    InterlockedIncrement(&ServerObjectCount);
}

ShellExtension::~ShellExtension() {
    ReleaseDataObject();
    InterlockedDecrement(&ServerObjectCount);
}

HRESULT ShellExtension::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IShellExtInit || riid == IID_IUnknown)
        *ppv = static_cast<IShellExtInit*>(this);  // the object's identity
    else if (riid == IID_IContextMenu)
        *ppv = static_cast<IContextMenu*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG ShellExtension::AddRef() { return ++refCount; }

ULONG ShellExtension::Release() {
    if (--refCount == 0) {
        delete this;
        return 0;
    }
    return refCount;
}

void ShellExtension::ReleaseDataObject() {
    if (dataObject != nullptr) {
        dataObject->Release();
        dataObject = nullptr;
    }
}

HRESULT ShellExtension::Initialize(PCIDLIST_ABSOLUTE /*pidlFolder*/, IDataObject* pdtobj, HKEY /*hkeyProgID*/) {
    ReleaseDataObject();
    if (pdtobj != nullptr) {
        dataObject = pdtobj;
        dataObject->AddRef();
    }

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);  // 148
    isWin9x = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;

    // Without a data object there is no file list to ask for.  The old
    // selection is dropped too, so that a menu built afterwards cannot act on
    // items the shell no longer shows.
    if (pdtobj == nullptr) {
        selection.clear();
        selectionCount = 0;
        return E_INVALIDARG;
    }

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(pdtobj->GetData(&format, &medium)))
        return E_FAIL;

    selectionCount = 0;
    selection.clear();
    HRESULT hr = S_OK;
    if (medium.hGlobal != nullptr) {
        const auto drop = static_cast<HDROP>(medium.hGlobal);
        const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        try {
            selection.reserve(count);
            for (UINT i = 0; i < count; ++i) {
                char path[kPathBufferSize] = {};
                DragQueryFileA(drop, i, path, kPathBufferSize);
                selection.emplace_back(path);
            }
            selectionCount = count;
        } catch (const std::bad_alloc&) {
            // No exception may reach the shell; it gets an empty selection.
            selection.clear();
            hr = E_OUTOFMEMORY;
        }
    }
    ReleaseStgMedium(&medium);
    return hr;
}
