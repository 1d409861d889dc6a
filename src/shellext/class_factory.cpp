#include "shellext/class_factory.h"

#include <new>

#include "shellext/module.h"
#include "shellext/shell_extension.h"

ShellExtClassFactory::ShellExtClassFactory() : refCount(0) { InterlockedIncrement(&ServerObjectCount); }

ShellExtClassFactory::~ShellExtClassFactory() { InterlockedDecrement(&ServerObjectCount); }

HRESULT ShellExtClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IClassFactory)
        *ppv = static_cast<IClassFactory*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG ShellExtClassFactory::AddRef() { return ++refCount; }

ULONG ShellExtClassFactory::Release() {
    if (--refCount == 0) {
        delete this;
        return 0;
    }
    return refCount;
}

HRESULT ShellExtClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;

    auto* extension = new (std::nothrow) ShellExtension;
    if (extension == nullptr)
        return E_OUTOFMEMORY;
    // As in DllGetClassObject: an unsupported riid must not strand the object.
    extension->AddRef();
    const HRESULT hr = extension->QueryInterface(riid, ppv);
    extension->Release();
    return hr;
}

// Server locks do not keep the library loaded: only live objects count.
HRESULT ShellExtClassFactory::LockServer(BOOL /*fLock*/) { return S_OK; }
