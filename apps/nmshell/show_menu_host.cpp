// The simulated machine has no screen, so --show is refused before anything
// is built.
#include "show_menu.h"

bool CanShowMenu(std::string* why) {
    *why = "--show needs a screen: use the Windows build (nmshell.exe, under Wine with a display)";
    return false;
}

int ShowMenu(IContextMenu*, HMENU, UINT, UINT) {
    return 1;
}
