// InvokeCommand: the shell's call for a chosen command of the submenu.
#include <new>

#include "shellext/menu_commands.h"
#include "shellext/shell_extension.h"

HRESULT ShellExtension::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    using Handler = HRESULT (ShellExtension::*)(HWND, LPCSTR, LPCSTR, LPCSTR, int);
    // By command offset, the order of the menu's command table.
    static constexpr Handler kHandlers[] = {
        &ShellExtension::OnVuzSelection,   // CommandVuz
        &ShellExtension::OnDeepClean,      // CommandDeepClean
        &ShellExtension::OnQuickClean,     // CommandQuickClean
        &ShellExtension::OnScanDrives,     // CommandScan
        &ShellExtension::OnConfiguration,  // CommandConfiguration
    };
    static_assert(sizeof(kHandlers) / sizeof(kHandlers[0]) == kMenuCommandCount, "one handler per menu command");

    if (pici == nullptr)
        return E_INVALIDARG;
    // A verb given as text ("open", ...) is not one of ours: only offsets
    // (MAKEINTRESOURCE, high word zero) name our commands.
    // On 64-bit Windows every bit above the low word counts, as in
    // IS_INTRESOURCE, not just the second word.
    const auto verb = reinterpret_cast<UINT_PTR>(pici->lpVerb);
    if ((verb >> 16) != 0)
        return E_INVALIDARG;
    const UINT offset = LOWORD(verb);
    if (offset >= kMenuCommandCount)
        return E_INVALIDARG;
    try {
        return (this->*kHandlers[offset])(pici->hwnd, pici->lpDirectory, pici->lpVerb, pici->lpParameters,
                                          pici->nShow);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // nothing may be thrown into the shell
    }
}
