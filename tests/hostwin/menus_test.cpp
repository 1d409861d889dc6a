// Menus as a context-menu host builds and reads them.  Win32 calls only: the
// same test runs against Wine, which decides where hostwin is wrong.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

// A popup menu destroyed at the end of the scope.
class PopupMenu {
public:
    PopupMenu() : menu_(CreatePopupMenu()) {}
    ~PopupMenu() {
        if (menu_ != nullptr)
            DestroyMenu(menu_);
    }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    HMENU get() const { return menu_; }
    HMENU release() {
        HMENU m = menu_;
        menu_ = nullptr;
        return m;
    }

private:
    HMENU menu_;
};

std::string TextAt(HMENU menu, UINT position) {
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

MENUITEMINFOA InfoAt(HMENU menu, UINT position) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    return info;
}

// The items as "text/id" (separators as "-"), for order checks.
std::string Items(HMENU menu) {
    std::string out;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (!out.empty())
            out += ' ';
        const MENUITEMINFOA info = InfoAt(menu, static_cast<UINT>(i));
        if (info.fType & MFT_SEPARATOR)
            out += "-";
        else
            out += TextAt(menu, static_cast<UINT>(i)) + "/" + std::to_string(info.wID);
    }
    return out;
}

TEST(MenusTest, ItemsGoWhereTheirPositionOrCommandSays) {
    struct Case {
        const char* name;
        UINT position;
        UINT flags;
        const char* expected;
    };
    // The menu holds a/10 b/20 before each insertion of x/99.
    const Case cases[] = {
        {"first position", 0, MF_BYPOSITION, "x/99 a/10 b/20"},
        {"middle position", 1, MF_BYPOSITION, "a/10 x/99 b/20"},
        {"position equal to the count", 2, MF_BYPOSITION, "a/10 b/20 x/99"},
        {"position past the end", 7, MF_BYPOSITION, "a/10 b/20 x/99"},
        {"position -1", 0xFFFFFFFFu, MF_BYPOSITION, "a/10 b/20 x/99"},
        {"before a command", 20, MF_BYCOMMAND, "a/10 x/99 b/20"},
        {"before the first command", 10, MF_BYCOMMAND, "x/99 a/10 b/20"},
        {"an unknown command", 55, MF_BYCOMMAND, "a/10 b/20 x/99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PopupMenu menu;
        ASSERT_TRUE(InsertMenuA(menu.get(), 0, MF_BYPOSITION | MF_STRING, 10, "a"));
        ASSERT_TRUE(InsertMenuA(menu.get(), 1, MF_BYPOSITION | MF_STRING, 20, "b"));
        EXPECT_TRUE(InsertMenuA(menu.get(), c.position, c.flags | MF_STRING, 99, "x"));
        EXPECT_EQ(Items(menu.get()), c.expected);
    }
}

TEST(MenusTest, EnableMenuItemAnswersThePreviousStateOrMinusOne) {
    PopupMenu menu;
    ASSERT_TRUE(InsertMenuA(menu.get(), 0, MF_BYPOSITION | MF_STRING, 7, "item"));
    struct Step {
        UINT which;
        UINT flags;
        BOOL previous;
    };
    const Step steps[] = {
        {0, MF_BYPOSITION | MF_GRAYED, MF_ENABLED},
        {0, MF_BYPOSITION | MF_DISABLED, MF_GRAYED},
        {7, MF_BYCOMMAND | MF_ENABLED, MF_DISABLED},
        {7, MF_BYCOMMAND | MF_GRAYED, MF_ENABLED},
        {1, MF_BYPOSITION | MF_GRAYED, -1},  // no such position
        {8, MF_BYCOMMAND | MF_GRAYED, -1},   // no such command
    };
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        EXPECT_EQ(EnableMenuItem(menu.get(), steps[i].which, steps[i].flags), steps[i].previous);
    }
    EXPECT_EQ(InfoAt(menu.get(), 0).fState & (MF_GRAYED | MF_DISABLED), static_cast<UINT>(MF_GRAYED));
}

TEST(MenusTest, MenuItemInfoIsTakenInBothWindowsSizesOnly) {
    struct Case {
        const char* name;
        UINT cbSize;
        bool accepted;
    };
    const Case cases[] = {
        {"without hbmpItem", offsetof(MENUITEMINFOA, hbmpItem), true},
        {"full size", sizeof(MENUITEMINFOA), true},
        {"zero", 0, false},
        {"one short of the short form", offsetof(MENUITEMINFOA, hbmpItem) - 1, false},
        {"between the two", offsetof(MENUITEMINFOA, hbmpItem) + 1, false},
        {"larger", sizeof(MENUITEMINFOA) + 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PopupMenu menu;
        char text[] = "title";
        MENUITEMINFOA info{};
        info.cbSize = c.cbSize;
        info.fMask = MIIM_TYPE | MIIM_ID;
        info.fType = MFT_STRING;
        info.wID = 5;
        info.dwTypeData = text;
        SetLastError(0);
        EXPECT_EQ(InsertMenuItemA(menu.get(), 0, TRUE, &info) != FALSE, c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
        EXPECT_EQ(GetMenuItemCount(menu.get()), c.accepted ? 1 : 0);

        if (!c.accepted)
            InsertMenuA(menu.get(), 0, MF_BYPOSITION | MF_STRING, 5, "title");
        MENUITEMINFOA out{};
        out.cbSize = c.cbSize;
        out.fMask = MIIM_ID;
        SetLastError(0);
        EXPECT_EQ(GetMenuItemInfoA(menu.get(), 0, TRUE, &out) != FALSE, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(out.wID, 5u);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
}

TEST(MenusTest, TheShortFormIsNeverWrittenPastItsEnd) {
    PopupMenu menu, sub;
    ASSERT_TRUE(InsertMenuA(sub.get(), 0, MF_BYPOSITION | MF_STRING, 3, "inner"));
    char title[] = "Outer";
    MENUITEMINFOA in{};
    in.cbSize = offsetof(MENUITEMINFOA, hbmpItem);
    in.fMask = MIIM_SUBMENU | MIIM_TYPE;
    in.fType = MFT_STRING;
    in.hSubMenu = sub.get();
    in.dwTypeData = title;
    in.cch = 0;  // ignored when an item is set: the text is the terminated string
    ASSERT_TRUE(InsertMenuItemA(menu.get(), 0, TRUE, &in));
    sub.release();  // the outer menu owns it now

    MENUITEMINFOA out;
    std::memset(&out, 0xA5, sizeof out);
    const HBITMAP sentinel = out.hbmpItem;
    char text[16] = {};
    out.cbSize = offsetof(MENUITEMINFOA, hbmpItem);
    out.fMask = MIIM_SUBMENU | MIIM_TYPE | MIIM_ID | MIIM_STATE;
    out.dwTypeData = text;
    out.cch = sizeof text;
    ASSERT_TRUE(GetMenuItemInfoA(menu.get(), 0, TRUE, &out));
    EXPECT_EQ(out.hbmpItem, sentinel);
    EXPECT_STREQ(text, "Outer");
    EXPECT_EQ(out.cch, 5u);
    EXPECT_EQ(out.fType, static_cast<UINT>(MFT_STRING));
    EXPECT_EQ(out.wID, 0u);
    EXPECT_EQ(out.fState, 0u);
    EXPECT_NE(out.hSubMenu, nullptr);
    EXPECT_EQ(out.hSubMenu, GetSubMenu(menu.get(), 0));
}

TEST(MenusTest, MixingTheOldAndNewTypeFlagsIsRefused) {
    const UINT masks[] = {MIIM_TYPE | MIIM_STRING, MIIM_TYPE | MIIM_FTYPE, MIIM_TYPE | MIIM_BITMAP};
    for (UINT mask : masks) {
        SCOPED_TRACE("fMask " + std::to_string(mask));
        PopupMenu menu;
        char text[] = "t";
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = mask;
        info.dwTypeData = text;
        SetLastError(0);
        EXPECT_FALSE(InsertMenuItemA(menu.get(), 0, TRUE, &info));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(MenusTest, ASubmenuItemReportsItsMenuAndItsSeparatorsHaveNoText) {
    PopupMenu menu;
    HMENU sub = CreatePopupMenu();
    ASSERT_NE(sub, nullptr);
    InsertMenuA(sub, 0, MF_BYPOSITION | MF_STRING, 1, "one");
    InsertMenuA(sub, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuA(sub, 2, MF_BYPOSITION | MF_STRING | MF_GRAYED, 2, "two");
    ASSERT_TRUE(InsertMenuA(menu.get(), 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub"));

    EXPECT_EQ(GetSubMenu(menu.get(), 0), sub);
    EXPECT_EQ(GetSubMenu(menu.get(), 1), nullptr);
    EXPECT_EQ(InfoAt(menu.get(), 0).hSubMenu, sub);
    EXPECT_EQ(GetMenuItemCount(sub), 3);
    EXPECT_EQ(TextAt(menu.get(), 0), "Sub");
    EXPECT_EQ(Items(sub), "one/1 - two/2");
    EXPECT_TRUE(InfoAt(sub, 2).fState & MF_GRAYED);
    EXPECT_EQ(InfoAt(sub, 1).wID, 0u) << "a separator has identifier 0";
    char separator[8] = "junk";
    EXPECT_EQ(GetMenuStringA(sub, 1, separator, sizeof separator, MF_BYPOSITION), 0) << "and no text";

    // Commands are found in submenus too.
    EXPECT_EQ(EnableMenuItem(menu.get(), 2, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
    char text[8] = {};
    EXPECT_EQ(GetMenuStringA(menu.get(), 1, text, sizeof text, MF_BYCOMMAND), 3);
    EXPECT_STREQ(text, "one");
}

TEST(MenusTest, DestroyingAMenuDestroysItsSubmenus) {
    HMENU top = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    HMENU inner = CreatePopupMenu();
    InsertMenuA(sub, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(inner), "inner");
    InsertMenuA(top, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "sub");
    EXPECT_TRUE(IsMenu(top) && IsMenu(sub) && IsMenu(inner));
    EXPECT_TRUE(DestroyMenu(top));
    EXPECT_FALSE(IsMenu(top));
    EXPECT_FALSE(IsMenu(sub));
    EXPECT_FALSE(IsMenu(inner));

    EXPECT_EQ(GetMenuItemCount(top), -1);
    EXPECT_FALSE(DestroyMenu(top));
    EXPECT_EQ(EnableMenuItem(top, 0, MF_BYPOSITION | MF_GRAYED), -1);
}

TEST(MenusTest, TextComesBackWithItsLength) {
    PopupMenu menu;
    InsertMenuA(menu.get(), 0, MF_BYPOSITION | MF_STRING, 1, "Nullmark");
    // Buffers that hold the text: a cut text is left out, as Wine does not
    // terminate it the way the documentation says.
    for (int size : {64, 9}) {
        SCOPED_TRACE("buffer of " + std::to_string(size));
        char text[80];
        std::memset(text, 'z', sizeof text);
        EXPECT_EQ(GetMenuStringA(menu.get(), 0, text, size, MF_BYPOSITION), 8);
        EXPECT_STREQ(text, "Nullmark");
        EXPECT_EQ(text[size], 'z') << "written past the buffer";
    }
    EXPECT_EQ(GetMenuStringA(menu.get(), 0, nullptr, 0, MF_BYPOSITION), 8) << "the length without a buffer";

    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfoA(menu.get(), 0, TRUE, &info));
    EXPECT_EQ(info.cch, 8u) << "the length without a buffer";
}

TEST(MenusTest, LettersAreThoseOfCodePage1252) {
    // The letters of the upper half: the accented Latin-1 range without
    // the two arithmetic signs, and the few letters placed below it.
    const std::vector<int> upperLetters = {0x83, 0x88, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA};
    for (int c = 1; c < 256; ++c) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
        for (int u : upperLetters)
            letter = letter || c == u;
        EXPECT_EQ(IsCharAlphaA(static_cast<CHAR>(c)) != FALSE, letter) << "character 0x" << std::hex << c;
    }
}

}  // namespace
