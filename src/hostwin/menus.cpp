#include "menus.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "errors.h"
#include "faults.h"
#include "machine.h"

namespace hostwin::detail {
namespace {

struct MenuItem {
    UINT type = MFT_STRING;  // MFT_* bits
    UINT state = 0;          // MFS_* bits
    UINT id = 0;
    HMENU subMenu = nullptr;
    HBITMAP checked = nullptr;
    HBITMAP unchecked = nullptr;
    HBITMAP bitmap = nullptr;
    ULONG_PTR data = 0;
    std::string text;
};

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
};

// Handles are never reused, so that a stale handle is reported as invalid
// instead of reaching a newer menu.
struct MenuTable {
    std::mutex mutex;
    std::map<HMENU, std::unique_ptr<Menu>> menus;
    ULONG_PTR next = 0x10010;
};

MenuTable& Table() {
    static MenuTable table;
    return table;
}

Menu* Find(HMENU handle) {
    auto it = Table().menus.find(handle);
    return it == Table().menus.end() ? nullptr : it->second.get();
}

struct ItemRef {
    Menu* menu = nullptr;
    size_t index = 0;
    MenuItem* item() const { return &menu->items[index]; }
};

// By position in `menu`, or by command identifier in `menu` and, depth
// first, in its submenus, as Windows searches.
bool Locate(Menu* menu, UINT which, bool byPosition, ItemRef* out, int depth = 0) {
    if (byPosition) {
        if (which >= menu->items.size())
            return false;
        *out = {menu, which};
        return true;
    }
    if (depth > 32)  // a menu that contains itself must not loop for ever
        return false;
    for (size_t i = 0; i < menu->items.size(); ++i) {
        MenuItem& item = menu->items[i];
        if (item.id == which) {
            *out = {menu, i};
            return true;
        }
        if (Menu* sub = item.subMenu ? Find(item.subMenu) : nullptr)
            if (Locate(sub, which, false, out, depth + 1))
                return true;
    }
    return false;
}

HMENU NewMenu(bool popup) {
    DWORD error;
    if (TakeInjectedFailure(popup ? "CreatePopupMenu" : "CreateMenu", &error)) {
        SetLastError(error);
        return nullptr;
    }
    std::lock_guard lock(Table().mutex);
    auto handle = reinterpret_cast<HMENU>(Table().next);
    Table().next += 4;
    auto menu = std::make_unique<Menu>();
    menu->popup = popup;
    Table().menus[handle] = std::move(menu);
    return handle;
}

void DestroyTree(HMENU handle, int depth) {
    auto it = Table().menus.find(handle);
    if (it == Table().menus.end() || depth > 32)
        return;
    std::unique_ptr<Menu> menu = std::move(it->second);
    Table().menus.erase(it);
    for (const MenuItem& item : menu->items)
        if (item.subMenu != nullptr)
            DestroyTree(item.subMenu, depth + 1);
}

// Where a new item goes: a position past the end (such as -1) appends, and
// so does a command identifier that no item has.
void Insert(Menu* menu, UINT position, bool byPosition, MenuItem item) {
    ItemRef at;
    if (!byPosition && Locate(menu, position, false, &at)) {
        at.menu->items.insert(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index), std::move(item));
        return;
    }
    const size_t index = byPosition ? std::min<size_t>(position, menu->items.size()) : menu->items.size();
    menu->items.insert(menu->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
}

bool ValidItemInfoSize(UINT cbSize) {
    return cbSize == sizeof(MENUITEMINFOA) || cbSize == offsetof(MENUITEMINFOA, hbmpItem);
}

// A MENUITEMINFOA of a size Windows knows, whose mask does not mix MIIM_TYPE
// (the older way to say type and text) with the newer flags that say the
// same; ERROR_INVALID_PARAMETER otherwise.
bool AcceptableItemInfo(const MENUITEMINFOA* info) {
    const bool ok = info != nullptr && ValidItemInfoSize(info->cbSize) &&
                    !((info->fMask & MIIM_TYPE) && (info->fMask & (MIIM_STRING | MIIM_FTYPE | MIIM_BITMAP)));
    if (!ok)
        SetLastError(ERROR_INVALID_PARAMETER);
    return ok;
}

bool HasBitmapField(const MENUITEMINFOA* info) { return info->cbSize == sizeof(MENUITEMINFOA); }

bool IsStringItem(UINT type) { return (type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW)) == 0; }

// The copy that GetMenuStringA and GetMenuItemInfoA make: cut to the buffer,
// always terminated; the number of characters copied.
UINT CopyText(const std::string& text, char* buffer, UINT size) {
    if (buffer == nullptr || size == 0)
        return 0;
    const size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<UINT>(n);
}

}  // namespace

size_t LiveMenuCount() {
    std::lock_guard lock(Table().mutex);
    return Table().menus.size();
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

HMENU WINAPI CreatePopupMenu() { return NewMenu(true); }

BOOL WINAPI DestroyMenu(HMENU hMenu) {
    std::lock_guard lock(Table().mutex);
    if (Find(hMenu) == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    DestroyTree(hMenu, 0);
    return TRUE;
}

BOOL WINAPI IsMenu(HMENU hMenu) {
    std::lock_guard lock(Table().mutex);
    return Find(hMenu) != nullptr;
}

BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    if (FailIfInjected("InsertMenuA"))
        return FALSE;
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hMenu);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem item;
    item.type = uFlags & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW | MFT_MENUBARBREAK | MFT_MENUBREAK |
                          MFT_RIGHTJUSTIFY);
    item.state = uFlags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT);
    if (uFlags & MF_SEPARATOR)
        item.state |= MF_GRAYED | MF_DISABLED;  // a separator can never be chosen
    if (uFlags & MF_POPUP) {
        item.subMenu = reinterpret_cast<HMENU>(uIDNewItem);
        if (Find(item.subMenu) == nullptr) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
    }
    // A submenu's item carries the handle as its identifier, as on Windows.
    item.id = static_cast<UINT>(uIDNewItem);
    if (IsStringItem(item.type) && lpNewItem != nullptr)
        item.text = lpNewItem;
    Insert(menu, uPosition, (uFlags & MF_BYPOSITION) != 0, std::move(item));
    return TRUE;
}

BOOL WINAPI InsertMenuItemA(HMENU hmenu, UINT item, BOOL fByPosition, LPCMENUITEMINFOA lpmi) {
    if (FailIfInjected("InsertMenuItemA"))
        return FALSE;
    if (!AcceptableItemInfo(lpmi))
        return FALSE;
    const UINT mask = lpmi->fMask;
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hmenu);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem newItem;
    if (mask & (MIIM_TYPE | MIIM_FTYPE))
        newItem.type = lpmi->fType;
    // cch is not read when an item is set: the text is the terminated string.
    if (((mask & MIIM_TYPE) && IsStringItem(lpmi->fType)) || (mask & MIIM_STRING))
        if (lpmi->dwTypeData != nullptr)
            newItem.text = lpmi->dwTypeData;
    if ((mask & MIIM_BITMAP) && HasBitmapField(lpmi))
        newItem.bitmap = lpmi->hbmpItem;
    if (mask & MIIM_STATE)
        newItem.state = lpmi->fState;
    if (mask & MIIM_ID)
        newItem.id = lpmi->wID;
    if (mask & MIIM_SUBMENU) {
        if (lpmi->hSubMenu != nullptr && Find(lpmi->hSubMenu) == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        newItem.subMenu = lpmi->hSubMenu;
    }
    if (mask & MIIM_CHECKMARKS) {
        newItem.checked = lpmi->hbmpChecked;
        newItem.unchecked = lpmi->hbmpUnchecked;
    }
    if (mask & MIIM_DATA)
        newItem.data = lpmi->dwItemData;
    Insert(menu, item, fByPosition != FALSE, std::move(newItem));
    return TRUE;
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hMenu);
    ItemRef ref;
    if (menu == nullptr || !Locate(menu, uIDEnableItem, (uEnable & MF_BYPOSITION) != 0, &ref))
        return -1;
    MenuItem* item = ref.item();
    const UINT previous = item->state & (MF_GRAYED | MF_DISABLED);
    item->state = (item->state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return static_cast<BOOL>(previous);
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hMenu);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(menu->items.size());
}

BOOL WINAPI GetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOA lpmii) {
    if (!AcceptableItemInfo(lpmii))
        return FALSE;
    const UINT mask = lpmii->fMask;
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hmenu);
    if (menu == nullptr) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    ItemRef ref;
    if (!Locate(menu, item, fByPosition != FALSE, &ref)) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    const MenuItem& it = *ref.item();
    if (mask & (MIIM_TYPE | MIIM_FTYPE))
        lpmii->fType = it.type;
    // Text goes out for MIIM_STRING, and for MIIM_TYPE on a text item.  With
    // no buffer only the length is reported; cch comes back as the number of
    // characters copied.
    if ((mask & MIIM_STRING) || ((mask & MIIM_TYPE) && IsStringItem(it.type))) {
        if (lpmii->dwTypeData == nullptr || lpmii->cch == 0)
            lpmii->cch = static_cast<UINT>(it.text.size());
        else
            lpmii->cch = CopyText(it.text, lpmii->dwTypeData, lpmii->cch);
    }
    if ((mask & MIIM_BITMAP) && HasBitmapField(lpmii))
        lpmii->hbmpItem = it.bitmap;
    if (mask & MIIM_STATE)
        lpmii->fState = it.state;
    if (mask & MIIM_ID)
        lpmii->wID = it.id;
    if (mask & MIIM_SUBMENU)
        lpmii->hSubMenu = it.subMenu;
    if (mask & MIIM_CHECKMARKS) {
        lpmii->hbmpChecked = it.checked;
        lpmii->hbmpUnchecked = it.unchecked;
    }
    if (mask & MIIM_DATA)
        lpmii->dwItemData = it.data;
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hMenu);
    ItemRef ref;
    if (menu == nullptr || nPos < 0 || !Locate(menu, static_cast<UINT>(nPos), true, &ref))
        return nullptr;
    return ref.item()->subMenu;
}

int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
    std::lock_guard lock(Table().mutex);
    Menu* menu = Find(hMenu);
    ItemRef ref;
    if (menu == nullptr || !Locate(menu, uIDItem, (flags & MF_BYPOSITION) != 0, &ref))
        return 0;
    const MenuItem& item = *ref.item();
    const std::string none;
    const std::string& text = IsStringItem(item.type) ? item.text : none;
    if (lpString == nullptr || cchMax <= 0)
        return static_cast<int>(text.size());
    return static_cast<int>(CopyText(text, lpString, static_cast<UINT>(cchMax)));
}

namespace hostwin {

size_t Machine::LiveMenus() { return detail::LiveMenuCount(); }

}  // namespace hostwin
