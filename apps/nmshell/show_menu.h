// nmshell menu --show: the context menu opened on the screen the way the
// shell opens it, for a person (or a script pressing keys) to choose from.
#pragma once

#include <string>

#include "platform/win32.h"

// False, with the reason, where this build has no screen to show a menu on.
bool CanShowMenu(std::string* why);

// Opens `hmenu` from a window of its own at a fixed point, waits for the
// choice and invokes the chosen command with that window as owner.  Prints
// the identifier that came back and the result of the invocation.  Returns
// the program's exit status.
int ShowMenu(IContextMenu* menu, HMENU hmenu, UINT idCmdFirst, UINT commandCount);
