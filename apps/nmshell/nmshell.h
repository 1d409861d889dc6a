// The verbs of nmshell.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

class ServerModule;

// InvokeCommand with the command offset as its verb, as the shell passes a
// chosen command on; boxes the command shows are printed (and answered)
// while it runs, then "InvokeCommand(OFFSET): HRESULT".
HRESULT InvokeOffset(IContextMenu* menu, unsigned long offset);

// nmshell probe PATH...: activation, interface identities, reference counts,
// the captured selection and the unload answer before and after the release.
int RunProbe(ServerModule& server, const std::vector<std::string>& paths);

// nmshell menu PATH... [--flags N]: the context menu for the paths, as the
// shell builds it, printed item by item with each command's help text.
int RunMenu(ServerModule& server, const std::vector<std::string>& args);

// nmshell invoke OFFSET PATH...: the menu for the paths, then InvokeCommand
// with the command offset as the verb; message boxes and the HRESULT printed.
int RunInvoke(ServerModule& server, const std::vector<std::string>& args);

// nmshell activate OFFSET PATH...: the registered extension, made with
// CoCreateInstance by its class identifier; one menu, the command at OFFSET,
// the release and CoFreeUnusedLibraries, with where the DLL was loaded from.
int RunActivate(const std::vector<std::string>& args);
