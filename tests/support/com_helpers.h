// Small helpers for driving the extension in tests, through its exports only.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "shellext/exports.h"
#include "shellext/module.h"
#include "shellext/shell_extension.h"
#include "shellhost/drop_data_object.h"

namespace nmtest {

// One extension object made the shell's way, released at the end of the scope.
class Extension {
public:
    Extension() {
        IClassFactory* factory = nullptr;
        DllGetClassObject(CLSID_ShellExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (factory != nullptr) {
            factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu_));
            factory->Release();
        }
        if (menu_ != nullptr)
            menu_->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init_));
    }
    ~Extension() {
        if (init_)
            init_->Release();
        if (menu_)
            menu_->Release();
    }
    Extension(const Extension&) = delete;
    Extension& operator=(const Extension&) = delete;

    IContextMenu* menu() const { return menu_; }
    IShellExtInit* init() const { return init_; }
    const ShellExtension& object() const { return *static_cast<const ShellExtension*>(menu_); }

    HRESULT Initialize(const std::vector<std::string>& paths) {
        DropDataObject* data = DropDataObject::Create(paths);
        const HRESULT hr = init_->Initialize(nullptr, data, nullptr);
        data->Release();
        return hr;
    }

private:
    IContextMenu* menu_ = nullptr;
    IShellExtInit* init_ = nullptr;
};

}  // namespace nmtest
