// Builds the extension's context menu the shell's way and reads it back into
// plain rows, for tests that compare whole menus.  Win32 calls only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "shellhost/menu_reader.h"
#include "support/com_helpers.h"

namespace nmtest {

struct MenuRow {
    std::string text;  // "-" for a separator
    UINT id = 0;
    bool grayed = false;
    bool operator==(const MenuRow&) const = default;
    friend void PrintTo(const MenuRow& r, std::ostream* os) {
        *os << '"' << r.text << "\" id " << r.id << (r.grayed ? " grayed" : "");
    }
};

struct BuiltMenu {
    HRESULT result = E_FAIL;
    std::vector<MenuRow> top;      // the shell's menu
    std::vector<MenuRow> submenu;  // the "Nullmark" submenu, when there is one
    bool added() const { return result == MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5); }
    // The five command labels in submenu order (separators left out).
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const MenuRow& r : submenu)
            if (r.text != "-")
                out.push_back(r.text);
        return out;
    }
    std::vector<bool> grayed() const {
        std::vector<bool> out;
        for (const MenuRow& r : submenu)
            if (r.text != "-")
                out.push_back(r.grayed);
        return out;
    }
};

inline std::vector<MenuRow> ReadMenu(HMENU menu, HMENU* submenu) {
    std::vector<MenuRow> rows;
    for (const MenuItemRead& item : ReadMenuItems(menu)) {
        MenuRow row;
        row.text = item.separator ? "-" : item.text;
        row.id = item.id;
        row.grayed = item.grayed;
        if (item.submenu != nullptr && submenu != nullptr) {
            *submenu = item.submenu;
            row.id = 0;  // a submenu's item carries no command
        }
        rows.push_back(row);
    }
    return rows;
}

// Initialize with `paths`, QueryContextMenu into a popup menu that already
// holds `existing` items, read everything back and destroy the menu.
inline BuiltMenu BuildMenu(const std::vector<std::string>& paths, UINT flags = CMF_NORMAL, UINT idCmdFirst = 100,
                           int existing = 0, UINT indexMenu = 0) {
    BuiltMenu built;
    Extension ext;
    if (ext.menu() == nullptr)
        return built;
    ext.Initialize(paths);
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < existing; ++i)
        InsertMenuA(menu, static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, 9000 + i, "Shell item");
    built.result = ext.menu()->QueryContextMenu(menu, indexMenu, idCmdFirst, idCmdFirst + 0x7000, flags);
    HMENU submenu = nullptr;
    built.top = ReadMenu(menu, &submenu);
    if (submenu != nullptr)
        built.submenu = ReadMenu(submenu, nullptr);
    DestroyMenu(menu);
    return built;
}

}  // namespace nmtest
