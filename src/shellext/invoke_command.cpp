// InvokeCommand: the shell's call for a chosen command of the submenu.
#include <new>

#include "commands/command_table.h"
#include "shellext/module.h"
#include "shellext/shell_extension.h"

HRESULT ShellExtension::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    if (pici == nullptr)
        return E_INVALIDARG;
    // A verb given as text ("open", ...) is not one of ours: only offsets
    // (MAKEINTRESOURCE, high word zero) name our commands.  On 64-bit Windows
    // every bit above the low word counts, as in IS_INTRESOURCE.
    const auto verb = reinterpret_cast<UINT_PTR>(pici->lpVerb);
    if ((verb >> 16) != 0)
        return E_INVALIDARG;
    const UINT offset = LOWORD(verb);
    if (offset >= kCommandCount)
        return E_INVALIDARG;
    const Command& command = kCommands[offset];
    CommandContext context{selection, selectionCount, quickClean, g_hInstance, pici->hwnd};
    try {
        command.handler(command, context);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // nothing may be thrown into the shell
    }
    return S_OK;  // whatever became of the request: the messaging layer reports it
}
