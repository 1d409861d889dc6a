#include "shellhost/server_module.h"

const CLSID kExtensionClsid = {0x5E2C9A71, 0x3B04, 0x4F6D, {0x9A, 0x18, 0xC7, 0xD2, 0xE4, 0x0B, 0x6F, 0x53}};

ServerModule::~ServerModule() { Unload(); }

bool ServerModule::Load(const std::string& dllPath, std::string* error) {
    Unload();
    module_ = LoadLibraryA(dllPath.c_str());
    if (module_ == nullptr) {
        *error = "cannot load " + dllPath + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    getClassObject_ = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    canUnloadNow_ =
        reinterpret_cast<LPFNCANUNLOADNOW>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
    if (getClassObject_ == nullptr || canUnloadNow_ == nullptr) {
        *error = dllPath + " does not export DllGetClassObject and DllCanUnloadNow";
        Unload();
        return false;
    }
    return true;
}

void ServerModule::Unload() {
    if (module_ != nullptr)
        FreeLibrary(module_);
    module_ = nullptr;
    getClassObject_ = nullptr;
    canUnloadNow_ = nullptr;
}

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    return getClassObject_ ? getClassObject_(clsid, riid, ppv) : E_UNEXPECTED;
}

HRESULT ServerModule::CanUnloadNow() const { return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED; }

HRESULT ServerModule::CreateExtension(REFIID riid, void** ppv) const {
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = GetClassObject(kExtensionClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return hr;
}

std::string DefaultServerPath() {
    char self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder(self, n < MAX_PATH ? n : 0);
    const size_t cut = folder.find_last_of("\\/");
    folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
    return folder + "NMShell402.dll";
}
