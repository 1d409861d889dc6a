// ShellExtension: the object the shell creates for each context menu over
// files, folders or drives.  One object, two interfaces, one reference count;
// IShellExtInit is its IUnknown identity.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "settings/product_settings.h"

class ShellExtension final : public IContextMenu, public IShellExtInit {
public:
    ShellExtension();
    ShellExtension(const ShellExtension&) = delete;
    ShellExtension& operator=(const ShellExtension&) = delete;

    // IUnknown, shared by both interfaces
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IContextMenu
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                               UINT uFlags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName,
                                               UINT cchMax) override;

    // IShellExtInit
    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj,
                                         HKEY hkeyProgID) override;

    // What Initialize captured, for the menu and the commands.
    const std::vector<std::string>& Selection() const { return selection; }
    DWORD SelectionCount() const { return selectionCount; }
    bool IsWin9x() const { return isWin9x; }
    const ProductSettings& Settings() const { return settings; }

    static constexpr DWORD kPathBufferSize = MAX_PATH;  // 259 characters and the terminator

private:
    ~ShellExtension();

    void ReleaseDataObject();

    // Which commands this selection and the settings allow (context_menu.cpp).
    DWORD ComputeMenuState() const;

    ULONG refCount;
    IDataObject* dataObject;
    std::vector<std::string> selection;
    bool isWin9x;
    DWORD selectionCount;
    ProductSettings settings;
    LONG quickClean;
};
