// The path parts and the rules that need no file: extensions, folders below
// the drive root, top-level folders.  Pure functions, run everywhere.
#include <gtest/gtest.h>

#include "ioutils/path_parts.h"
#include "ioutils/protected_files.h"

namespace {

TEST(PathParts, SplitAtTheLastSeparator) {
    struct Case {
        const char* path;
        const char* before;  // PartBefore(path, '\\')
        const char* directory;
        const char* name;
        const char* extension;
    } cases[] = {
        {"C:\\x.doc", "C:", "c:\\", "x.doc", "doc"},
        {"x.doc", "", "", "x.doc", "doc"},
        {"C:\\Dir\\Sub\\a.b.Txt", "C:\\Dir\\Sub", "c:\\dir\\sub", "a.b.Txt", "Txt"},
        {"\\first", "", "", "first", ""},
        {"C:\\dir.d\\noext", "C:\\dir.d", "c:\\dir.d", "noext", "d\\noext"},
        {"C:\\dir\\", "C:\\dir", "c:\\dir", "", ""},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PartBefore(c.path, '\\'), c.before);
        EXPECT_EQ(DirectoryOf(c.path), c.directory);
        EXPECT_EQ(FileNameOf(c.path), c.name);
        EXPECT_EQ(ExtensionOf(c.path), c.extension);
    }
    EXPECT_EQ(PartBefore(nullptr, '\\'), "");
    EXPECT_EQ(PartBefore("a.b.c", '.'), "a.b");
    EXPECT_EQ(FileNameOf(nullptr), "");
    EXPECT_EQ(ExtensionOf(nullptr), "");
}

TEST(PathRules, SystemExtensionsAreExactlyThreeCharacters) {
    const char* refused[] = {"C:\\report.EXE", "C:\\font.TTF", "a.dll", "x.Ini", "x.dat", "x.386", "x.vxd", "x.swp"};
    const char* allowed[] = {"C:\\archive.exe1", "C:\\a.ex", "C:\\noext", "C:\\a.txt", "C:\\a.exe.bak", ""};
    for (const char* path : refused)
        EXPECT_TRUE(HasSystemExtension(path)) << path;
    for (const char* path : allowed)
        EXPECT_FALSE(HasSystemExtension(path)) << path;
    EXPECT_FALSE(HasSystemExtension(nullptr));
    EXPECT_FALSE(IsSafeFile("C:\\x.sys"));
}

TEST(PathRules, SystemFoldersAreProtectedExceptTheirTempAndDesktop) {
    struct Case {
        const char* folder;  // below the drive root
        bool user;
    } cases[] = {
        {"windows", false},
        {"WINDOWS\\System32", false},
        {"Windows\\Temp", true},
        {"WINNT\\Profiles\\ann\\Desktop", true},
        {"windowsapps", false},  // the prefix is enough
        {"win95", false},
        {"win98\\attempt", true},  // "temp" anywhere in the text
        {"Program Files\\App", false},
        {"program files\\temporary", true},
        {"_RESTORE\\x", false},
        {"_resto~1", false},
        {"System~1\\y", false},
        {"System Volume Information", false},
        {"Documents and Settings", false},
        {"Documents and Settings\\ann", true},
        {"Documents and Settings\\ann\\Desktop", true},
        {"data", true},
        {"abc", false},  // shorter than four characters
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUserFolder(c.folder), c.user) << c.folder;
    EXPECT_FALSE(IsUserFolder(nullptr));
}

TEST(PathRules, TheSystemsTopLevelFoldersAreNotTheUsers) {
    struct Case {
        const char* path;
        bool user;
    } cases[] = {
        {"_restore\\a\\b", false}, {"_RESTO~1", false}, {"System~1\\x", false},
        {"System Volume Information\\x", false}, {"system volume", true}, {"windows\\x", true}, {"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUserTopFolder(c.path), c.user) << c.path;
    EXPECT_FALSE(IsUserTopFolder(nullptr));
}

}  // namespace
