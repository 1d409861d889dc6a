// The server as the shell sees it: a DLL loaded by path, its two exports, and
// the extension object made through the class factory.
#pragma once

#include <string>

#include "platform/win32.h"

class ServerModule {
public:
    ServerModule() = default;
    ~ServerModule();
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    // LoadLibraryA(path) and the two exports; false with `error` set on failure.
    bool Load(const std::string& dllPath, std::string* error);
    void Unload();

    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;

    // DllGetClassObject, CreateInstance for `riid`, release of the factory:
    // the shell's own sequence.
    HRESULT CreateExtension(REFIID riid, void** ppv) const;

private:
    HMODULE module_ = nullptr;
    LPFNGETCLASSOBJECT getClassObject_ = nullptr;
    LPFNCANUNLOADNOW canUnloadNow_ = nullptr;
};

// {5E2C9A71-3B04-4F6D-9A18-C7D2E40B6F53}, as the shell finds it in the registry.
extern const CLSID kExtensionClsid;

// The DLL next to the running program.
std::string DefaultServerPath();
