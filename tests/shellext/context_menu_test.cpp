// The context menu on any machine whose C: is a fixed disk holding the system
// directory and whose settings are the defaults: when it is added, what the
// shell's menu receives, and the help texts on the NT family.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "support/com_helpers.h"
#include "support/menu_reader.h"
#include "support/system_drive.h"

namespace {

using nmtest::BuildMenu;
using nmtest::MenuRow;

const MenuRow kSeparator{"-", 0, false};

class ContextMenuTest : public testing::Test {
protected:
    void SetUp() override { nmtest::EnsureSystemDrive(); }
};

TEST_F(ContextMenuTest, AddsTheSubmenuOnlyForMenusThatShowVerbs) {
    struct FlagCase {
        UINT flags;
        bool added;
    };
    const FlagCase cases[] = {
        {CMF_NORMAL, true},
        {CMF_DEFAULTONLY, false},
        {CMF_VERBSONLY, true},
        {CMF_EXPLORE, true},
        {CMF_NOVERBS, false},
        {CMF_DEFAULTONLY | CMF_EXPLORE, true},
        {CMF_NOVERBS | CMF_VERBSONLY, true},
        {CMF_DEFAULTONLY | CMF_NOVERBS, false},
        {CMF_CANRENAME, true},  // only the low four bits count
        {CMF_EXTENDEDVERBS | CMF_DEFAULTONLY, false},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "uFlags=0x" << std::hex << c.flags);
        const auto built = BuildMenu({"C:\\docs\\a.txt"}, c.flags, 100, 2);
        EXPECT_EQ(built.added(), c.added);
        if (!c.added) {
            EXPECT_EQ(built.result, S_OK) << "nothing added is a success with 0 identifiers";
            EXPECT_EQ(built.top.size(), 2u) << "the shell's menu is left alone";
        }
    }
}

TEST_F(ContextMenuTest, TwoFilesOnTheSystemDiskGetEveryCommand) {
    const auto built = BuildMenu({"C:\\docs\\a.txt", "C:\\docs\\b.txt"}, CMF_NORMAL, 100);
    ASSERT_TRUE(built.added());
    const std::vector<MenuRow> top = {kSeparator, {"Nullmark", 0, false}, kSeparator};
    EXPECT_EQ(built.top, top);
    const std::vector<MenuRow> submenu = {
        {"VUZ Selected File(s)", 100, false},
        kSeparator,
        {"Deep Clean Drive C:", 101, false},
        {"Quick Clean Drive C:", 102, false},
        {"Scan Drives for Deleted Data", 103, false},
        kSeparator,
        {"Nullmark Configuration", 104, false},
    };
    EXPECT_EQ(built.submenu, submenu);
}

// Wherever the shell asks for it, the block goes to the top of its menu, and
// the commands take the identifiers from the shell's first one on.
TEST_F(ContextMenuTest, TheBlockGoesToTheTopWithTheShellsIdentifiers) {
    const std::pair<UINT, UINT> cases[] = {{0, 1}, {1, 0x7000}, {3, 30000}, {40, 1}};
    for (const auto& [indexMenu, first] : cases) {
        SCOPED_TRACE(testing::Message() << "indexMenu=" << indexMenu << " idCmdFirst=" << first);
        const auto built = BuildMenu({"C:\\a.txt"}, CMF_NORMAL, first, 3, indexMenu);
        ASSERT_TRUE(built.added());
        ASSERT_EQ(built.top.size(), 6u);
        EXPECT_EQ(built.top[0], kSeparator);
        EXPECT_EQ(built.top[1].text, "Nullmark");
        EXPECT_EQ(built.top[2], kSeparator);
        EXPECT_EQ(built.top[3].id, 9000u) << "the shell's own items follow in their order";
        EXPECT_EQ(built.top[5].id, 9002u);
        std::vector<UINT> ids;
        for (const MenuRow& r : built.submenu)
            if (r.text != "-")
                ids.push_back(r.id);
        EXPECT_EQ(ids, (std::vector<UINT>{first, first + 1, first + 2, first + 3, first + 4}));
    }
}

TEST_F(ContextMenuTest, NoMenuOverTheStartMenuFolder) {
    struct Case {
        const char* path;
        bool added;
    };
    const Case cases[] = {
        {"C:\\Documents and Settings\\All Users\\Start Menu", false},
        {"C:\\WINDOWS\\START MENU", false},
        {"Start Menu", false},
        {"C:\\x\\start menu", false},
        {"C:\\Start Menu\\Programs", true},
        {"C:\\Start Menus", true},
        {"tart Menu", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(BuildMenu({c.path}).added(), c.added);
    }
}

// A shell that skipped Initialize, or whose Initialize failed, leaves the
// object without a selection: nothing to act on, nothing added.
TEST_F(ContextMenuTest, WithoutASelectionNothingIsAdded) {
    for (bool initialize : {false, true}) {
        SCOPED_TRACE(initialize ? "Initialize without a data object" : "no Initialize");
        nmtest::Extension ext;
        if (initialize) {
            EXPECT_TRUE(FAILED(ext.init()->Initialize(nullptr, nullptr, nullptr)));
        }
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(ext.menu()->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL), S_OK);
        EXPECT_EQ(GetMenuItemCount(menu), 0);
        DestroyMenu(menu);
    }
}

// On the NT family the help texts are UTF-16, whatever the request type.
TEST_F(ContextMenuTest, HelpTextsAreUtf16OnTheNtFamily) {
    const char16_t* const expected[] = {
        u"VUZ selected file(s)",
        u"Deep Clean the selected drive",
        u"Quick clean the selected drive",
        u"Scan selected drive for deleted data",
        u"Nullmark 4.0 configuration settings",
    };
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
    for (UINT type : {GCS_HELPTEXTW, GCS_HELPTEXTA, GCS_VERBA, GCS_VERBW}) {
        for (UINT offset = 0; offset < 5; ++offset) {
            SCOPED_TRACE(testing::Message() << "uType=" << type << " offset=" << offset);
            WCHAR text[64];
            std::memset(text, 0xFF, sizeof text);
            // The size a correct caller passes: characters of its type.
            const UINT cchMax = (type & GCS_UNICODE) != 0 ? 64 : sizeof text;
            EXPECT_EQ(ext.menu()->GetCommandString(offset, type, nullptr, reinterpret_cast<LPSTR>(text), cchMax),
                      S_OK);
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), expected[offset]);
        }
    }
}

TEST_F(ContextMenuTest, HelpTextsNeverPassTheCallersBuffer) {
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
    struct Case {
        UINT_PTR offset;
        UINT cchMax;
        const char16_t* text;  // null: the buffer is left untouched
    };
    const Case cases[] = {
        {0, 1, u""}, {0, 2, u"V"}, {0, 4, u"VUZ"}, {3, 21, u"Scan selected drive "}, {4, 0, nullptr},
        {5, 64, nullptr}, {0xFFFF, 64, nullptr}, {static_cast<UINT_PTR>(-1), 64, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset=" << c.offset << " cchMax=" << c.cchMax);
        WCHAR text[80];
        std::memset(text, 0x5A, sizeof text);
        EXPECT_EQ(ext.menu()->GetCommandString(c.offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(text),
                                               c.cchMax),
                  S_OK);
        if (c.text == nullptr) {
            EXPECT_EQ(text[0], 0x5A5A) << "untouched";
        } else {
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), c.text);
        }
        EXPECT_EQ(text[c.cchMax], 0x5A5A) << "written past cchMax";
    }
}

// A caller asking for an ANSI type sized its buffer in bytes; the UTF-16 text
// must stay inside those bytes, terminator included.
TEST_F(ContextMenuTest, AnsiRequestsOnTheNtFamilyStayInsideTheirBytes) {
    const char16_t scan[] = u"Scan selected drive for deleted data";  // 36 characters
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
    struct Case {
        UINT cchMax;  // bytes
        size_t kept;  // characters of the text, or npos: nothing written
    };
    constexpr size_t kNothing = std::u16string::npos;
    const Case cases[] = {
        {0, kNothing}, {1, kNothing}, {2, 0}, {3, 0}, {4, 1}, {7, 2}, {16, 7},
        {40, 19}, {73, 35}, {74, 36}, {75, 36}, {260, 36},
    };
    for (UINT type : {GCS_VERBA, GCS_HELPTEXTA, GCS_VALIDATEA}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "uType=" << type << " cchMax=" << c.cchMax);
            BYTE buffer[300];
            std::memset(buffer, 0x5A, sizeof buffer);
            EXPECT_EQ(ext.menu()->GetCommandString(3, type, nullptr, reinterpret_cast<LPSTR>(buffer), c.cchMax), S_OK);
            for (size_t i = c.cchMax; i < sizeof buffer; ++i)
                ASSERT_EQ(buffer[i], 0x5A) << "byte " << i << " written past the buffer";
            if (c.kept == kNothing) {
                EXPECT_EQ(buffer[0], 0x5A) << "untouched";
                continue;
            }
            char16_t text[150];
            std::memcpy(text, buffer, sizeof text);
            EXPECT_EQ(std::u16string(text), std::u16string(scan, c.kept));
        }
    }
}

}  // namespace
