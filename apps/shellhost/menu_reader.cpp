#include "shellhost/menu_reader.h"

std::vector<MenuItemRead> ReadMenuItems(HMENU menu) {
    std::vector<MenuItemRead> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        MenuItemRead item;
        item.readable = GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info) != FALSE;
        if (item.readable) {
            item.separator = (info.fType & MFT_SEPARATOR) != 0;
            item.grayed = !item.separator && (info.fState & MFS_GRAYED) != 0;
            item.id = info.wID;
            item.submenu = info.hSubMenu;
            item.text = item.separator ? "" : text;
        } else {
            item.error = GetLastError();
        }
        items.push_back(item);
    }
    return items;
}
