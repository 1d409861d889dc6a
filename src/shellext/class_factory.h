// ShellExtClassFactory: makes one ShellExtension per CreateInstance.
#pragma once

#include "platform/win32.h"

class ShellExtClassFactory final : public IClassFactory {
public:
    ShellExtClassFactory();
    ShellExtClassFactory(const ShellExtClassFactory&) = delete;
    ShellExtClassFactory& operator=(const ShellExtClassFactory&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    ~ShellExtClassFactory();

    ULONG refCount;
};
