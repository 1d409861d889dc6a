// One extension object of the library linked into this program, made the
// shell's way through its exports and released at the end of the scope.
// For the tests and the benchmarks, which drive the library without loading
// a DLL.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "shellext/exports.h"
#include "shellext/module.h"
#include "shellext/shell_extension.h"
#include "shellhost/drop_data_object.h"

class LinkedExtension {
public:
    LinkedExtension() {
        IClassFactory* factory = nullptr;
        DllGetClassObject(CLSID_ShellExtension, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (factory != nullptr) {
            factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu_));
            factory->Release();
        }
        if (menu_ != nullptr)
            menu_->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init_));
    }
    ~LinkedExtension() {
        if (init_)
            init_->Release();
        if (menu_)
            menu_->Release();
    }
    LinkedExtension(const LinkedExtension&) = delete;
    LinkedExtension& operator=(const LinkedExtension&) = delete;

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
