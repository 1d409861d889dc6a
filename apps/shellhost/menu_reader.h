// Reads a menu back item by item, as a host does to show it: one
// GetMenuItemInfoA per item, the same for nmshell and the tests.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

struct MenuItemRead {
    bool readable = false;  // false: GetMenuItemInfoA failed with `error`
    DWORD error = 0;
    bool separator = false;
    bool grayed = false;
    UINT id = 0;
    HMENU submenu = nullptr;
    std::string text;
};

std::vector<MenuItemRead> ReadMenuItems(HMENU menu);
