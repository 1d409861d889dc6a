#include "shellext/exports.h"

#include <cstring>
#include <new>

#include "shellext/class_factory.h"
#include "shellext/module.h"
#include "shellext/runtime_threads.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved) {
    if (fdwReason == DLL_PROCESS_ATTACH)
        g_hInstance = hinstDLL;
    // Every thread the host ends, Explorer's own among them, comes through
    // here: what the runtime keeps for it is freed now or never.
    RuntimeThreadNotice(hinstDLL, fdwReason, lpvReserved);
    return TRUE;
}

extern "C" HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return ServerObjectCount == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (std::memcmp(&rclsid, &CLSID_ShellExtension, sizeof(CLSID)) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;

    auto* factory = new (std::nothrow) ShellExtClassFactory;
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    // Hold the factory across the query: when the caller asked for an
    // interface it lacks, the release below destroys it again instead of
    // leaving it alive with nobody to free it.
    factory->AddRef();
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}
