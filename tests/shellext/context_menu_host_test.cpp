// The context menu on simulated machines: drive types, the system drive,
// settings in the registry, Windows 95/98/Me help texts, long drive lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "support/com_helpers.h"
#include "support/menu_reader.h"
#include "support/platforms.h"

namespace {

using hostwin::Machine;
using nmtest::BuildMenu;

constexpr char kSettingsKey[] = "[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n";

void AddDrive(char letter, UINT type) {
    Machine::DriveSetup setup;
    setup.letter = letter;
    setup.type = type;
    setup.freeBytes = setup.totalBytes = 1ull << 30;
    Machine::AddDrive(setup);
}

// A 32-bit mask as the REG_BINARY value the settings keep it in.
std::string MaskValue(const char* name, DWORD mask) {
    char line[80];
    std::snprintf(line, sizeof line, "\"%s\"=hex:%02x,%02x,%02x,%02x\r\n", name, mask & 0xFF, (mask >> 8) & 0xFF,
                  (mask >> 16) & 0xFF, mask >> 24);
    return line;
}

void SetSettings(const std::string& values) {
    Machine::ClearRegistry();
    ASSERT_TRUE(Machine::ImportRegistry("REGEDIT4\r\n\r\n" + std::string(kSettingsKey) + values));
}

class ContextMenuHostTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        AddDrive('A', DRIVE_REMOVABLE);
        AddDrive('C', DRIVE_FIXED);
        AddDrive('D', DRIVE_FIXED);
        AddDrive('G', DRIVE_FIXED);
        AddDrive('E', DRIVE_CDROM);
        AddDrive('F', DRIVE_REMOTE);
        AddDrive('R', DRIVE_RAMDISK);
        Machine::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
    }
    void TearDown() override { Machine::Reset(); }
};

struct SelectionCase {
    const char* name;
    std::vector<std::string> paths;
    const char* deepClean;  // the Quick Clean label has the same suffix
    bool vuz, clean;        // available
};

TEST_F(ContextMenuHostTest, DriveTypesDecideVuzAndTheCleans) {
    const SelectionCase cases[] = {
        {"files on the system disk", {"C:\\a.txt", "C:\\b.txt"}, "Deep Clean Drive C:", true, true},
        {"two fixed roots", {"D:\\", "G:\\"}, "Deep Clean Drive D:, G:", true, true},
        {"the system drive's root", {"C:\\"}, "Deep Clean Drive C:", false, true},
        {"a root given as two characters", {"D:"}, "Deep Clean Drive D:", true, true},
        {"the system root in lower case", {"c:\\"}, "Deep Clean Drive c:", true, true},
        {"a floppy root", {"A:\\"}, "Deep Clean Drive A:", true, true},
        {"a file on a CD-ROM", {"E:\\x.iso"}, "Deep Clean Drive n/a", true, false},
        {"a file on a network drive", {"F:\\a\\b.doc"}, "Deep Clean Drive n/a", true, false},
        {"a file on a RAM disk", {"R:\\a"}, "Deep Clean Drive n/a", true, false},
        {"a letter without a drive", {"Q:\\a.txt"}, "Deep Clean Drive n/a", true, false},
        {"a CD-ROM root among fixed ones", {"D:\\", "E:\\"}, "Deep Clean Drive n/a", false, false},
        // Below a root selection every item is taken for a root: a path is no root.
        {"a root followed by a path", {"D:\\", "D:\\docs\\a.txt"}, "Deep Clean Drive n/a", false, false},
        // For files, the first item's drive stands for all of them.
        {"files on a fixed and a CD drive", {"D:\\a.txt", "E:\\b.txt"}, "Deep Clean Drive D:", true, true},
        {"a file on a share", {"\\\\server\\share\\f.txt"}, "Deep Clean Drive n/a", true, false},
        {"a share root", {"\\\\server\\share"}, "Deep Clean Drive n/a", false, false},
        {"a file and a share root", {"\\\\server\\share\\f.txt", "\\\\server\\other"}, "Deep Clean Drive n/a", false,
         false},
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto built = BuildMenu(c.paths);
        ASSERT_TRUE(built.added());
        const std::string suffix = std::string(c.deepClean).substr(std::strlen("Deep Clean Drive"));
        const std::vector<std::string> labels = {
            c.vuz ? "VUZ Selected File(s)" : "VUZ Selected File(s) n/a",
            c.deepClean,
            "Quick Clean Drive" + suffix,
            "Scan Drives for Deleted Data",
            "Nullmark Configuration",
        };
        EXPECT_EQ(built.labels(), labels);
        EXPECT_EQ(built.grayed(), (std::vector<bool>{!c.vuz, !c.clean, !c.clean, false, false}));
    }
}

TEST_F(ContextMenuHostTest, SettingsSwitchCommandsOffOrTheWholeMenu) {
    struct SettingsCase {
        const char* name;
        std::string values;
        bool added;
        std::vector<bool> grayed;  // VUZ, Deep, Quick, Scan, Configuration
    };
    const SettingsCase cases[] = {
        {"no settings key at all", "", true, {false, false, false, false, false}},
        {"PG bit 0 clear", MaskValue("PG", 0x0A), false, {}},
        {"PG bit 0 alone", MaskValue("PG", 0x01), true, {false, false, false, false, false}},
        {"ADM bits 1-3 clear", MaskValue("ADM", 0xFFFFFFF1), true, {true, false, false, true, true}},
        {"ADM bit 1 clear", MaskValue("ADM", ~2u), true, {false, false, false, false, true}},
        {"ADM bit 2 clear", MaskValue("ADM", ~4u), true, {false, false, false, true, false}},
        {"ADM bit 3 clear", MaskValue("ADM", ~8u), true, {true, false, false, false, false}},
        {"ADM bits 0 and 4-31 clear", MaskValue("ADM", 0x0E), true, {false, false, false, false, false}},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetSettings(c.values);
        for (const auto& paths : {std::vector<std::string>{"D:\\a.txt"}, std::vector<std::string>{"D:\\"}}) {
            const auto built = BuildMenu(paths);
            EXPECT_EQ(built.added(), c.added);
            if (!c.added) {
                EXPECT_EQ(built.result, S_OK);
                EXPECT_TRUE(built.top.empty());
                continue;
            }
            EXPECT_EQ(built.grayed(), c.grayed);
            const auto labels = built.labels();
            ASSERT_EQ(labels.size(), 5u);
            EXPECT_EQ(labels[0].ends_with(" n/a"), c.grayed[0]);
            EXPECT_EQ(labels[3].ends_with(" n/a"), c.grayed[3]);
            EXPECT_EQ(labels[4].ends_with(" n/a"), c.grayed[4]);
        }
    }
}

TEST_F(ContextMenuHostTest, SettingsAreReadAfreshForEveryMenu) {
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({"D:\\a.txt"}), S_OK);
    auto query = [&] {
        HMENU menu = CreatePopupMenu();
        const HRESULT hr = ext.menu()->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
        DestroyMenu(menu);
        return hr;
    };
    SetSettings(MaskValue("PG", 0));
    EXPECT_EQ(query(), S_OK);
    SetSettings(MaskValue("PG", 1));
    EXPECT_EQ(query(), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5));
}

TEST_F(ContextMenuHostTest, Windows9xGetsTheAnsiHelpTexts) {
    Machine::SetWindows9x();
    nmtest::Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
    ASSERT_TRUE(ext.object().IsWin9x());
    struct Case {
        UINT_PTR offset;
        UINT cchMax;
        const char* text;  // null: untouched
    };
    const Case cases[] = {
        {0, 64, "VUZ selected file(s)"},
        {1, 64, "Deep Clean the selected drive"},
        {2, 64, "Quick clean the selected drive"},
        {3, 64, "Scan drives for deleted data"},
        {4, 64, "Nullmark 4.0 configuration settings"},
        {4, 9, "Nullmark"},
        {3, 1, ""},
        {3, 0, nullptr},
        {5, 64, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset=" << c.offset << " cchMax=" << c.cchMax);
        char text[80];
        std::memset(text, 'z', sizeof text);
        EXPECT_EQ(ext.menu()->GetCommandString(c.offset, GCS_HELPTEXTW, nullptr, text, c.cchMax), S_OK);
        if (c.text != nullptr) {
            EXPECT_STREQ(text, c.text);
        } else {
            EXPECT_EQ(text[0], 'z');
        }
        EXPECT_EQ(text[c.cchMax], 'z') << "written past cchMax";
    }
}

// The help text's form follows the platform identifier, never the version
// number: Windows 95 and NT 4.0 are both version 4.
TEST_F(ContextMenuHostTest, TheScanHelpTextTakesThePlatformsForm) {
    for (const auto& c : nmtest::kPlatforms) {
        SCOPED_TRACE(c.name);
        Machine::SetOsVersion(c.version);
        nmtest::Extension ext;
        ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
        char text[80] = {};
        EXPECT_EQ(ext.menu()->GetCommandString(3, GCS_HELPTEXTA, nullptr, text, sizeof text), S_OK);
        if (c.win9x) {
            EXPECT_STREQ(text, "Scan drives for deleted data");
        } else {
            const std::u16string expected = u"Scan selected drive for deleted data";
            EXPECT_EQ(std::memcmp(text, expected.c_str(), (expected.size() + 1) * 2), 0) << "UTF-16";
        }
    }
}

TEST_F(ContextMenuHostTest, LongDriveListsAreCutVisiblyWithinTheLabel) {
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        AddDrive(letter, DRIVE_FIXED);
    auto roots = [](int n) {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i)
            paths.push_back(std::string(1, static_cast<char>('A' + i)) + ":\\");
        return paths;
    };
    struct Case {
        int drives;
        const char* deepClean;
        const char* quickClean;
    };
    const Case cases[] = {
        {11, "Deep Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, K:",
         "Quick Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, K:"},
        {12, "Deep Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, K:, L:",
         "Quick Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, ..."},
        {13, "Deep Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, ...",
         "Quick Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, ..."},
        {26, "Deep Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, ...",
         "Quick Clean Drive A:, B:, C:, D:, E:, F:, G:, H:, I:, J:, ..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.drives << " drive roots");
        const auto built = BuildMenu(roots(c.drives));
        ASSERT_TRUE(built.added());
        const auto labels = built.labels();
        ASSERT_EQ(labels.size(), 5u);
        EXPECT_EQ(labels[1], c.deepClean);
        EXPECT_EQ(labels[2], c.quickClean);
        EXPECT_LE(labels[1].size(), 63u);
        EXPECT_LE(labels[2].size(), 63u);
        EXPECT_EQ(labels[0], "VUZ Selected File(s) n/a") << "C: is among them";
    }
}

TEST_F(ContextMenuHostTest, EveryMenuMadeIsOwnedByTheShellsMenu) {
    const size_t before = Machine::LiveMenus();
    for (UINT flags : {CMF_NORMAL, CMF_DEFAULTONLY}) {
        HMENU menu = CreatePopupMenu();
        {
            nmtest::Extension ext;
            ASSERT_EQ(ext.Initialize({"C:\\a.txt"}), S_OK);
            ext.menu()->QueryContextMenu(menu, 0, 1, 0x7FFF, flags);
        }
        EXPECT_EQ(Machine::LiveMenus(), before + (flags == CMF_NORMAL ? 2 : 1));
        DestroyMenu(menu);
        EXPECT_EQ(Machine::LiveMenus(), before);
    }
}

}  // namespace
