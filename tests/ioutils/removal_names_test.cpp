// The removal's names, against any Win32 implementation: entries whose names
// the code page's best-fit table rewrites or a path would cut go by their
// exact names and lead nowhere else, and the folder a caller names is only
// ever a folder below a root.
#include <gtest/gtest.h>

#include "ioutils/removal_names.h"

#include <string>

#include "ioutils/recursive_remove.h"
#include "support/exact_names.h"
#include "support/file_helpers.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ReadFileText;

// Every name in folder but "." and "..", as the narrow search shows them.
int EntriesIn(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    do
        count += std::string(found.cFileName) != "." && std::string(found.cFileName) != "..";
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

TEST(RemovalNames, EntriesGoByTheirExactNamesAndLeadNowhereElse) {
    nmtest::ScratchFolder scratch("removal-names");
    ASSERT_TRUE(nmtest::MakeFile(scratch / "outside\\a.txt", 0, "outside"));
    ASSERT_TRUE(nmtest::MakeFile(scratch / "outside\\sub\\b.txt", 0, "deeper"));
    ASSERT_TRUE(nmtest::MakeFile(scratch / "victim.txt", 0, "victim"));
    ASSERT_TRUE(nmtest::MakeFile(scratch / "clean\\a.txt"));
    const std::string clean = scratch / "clean";
    const struct {
        std::u16string name;
        bool folder;
    } entries[] = {
        {u"..\uFF0Foutside", true},       // shown as "../outside"
        {u"..\uFF3Cvictim.txt", false},   // shown as "..\victim.txt"
        {u"..\uFF3C..\uFF3Coutside", true},
        {u"\uFF41.txt", false},           // beside "a.txt"
        {u"abc.", true},                  // a path drops the trailing dot
        {u"sp ", true},                   // and the trailing space
        {u"x. .", false},
        {u"\uFF44esktop.ini", false},     // no "desktop.ini"
    };
    for (const auto& e : entries)
        ASSERT_TRUE(nmtest::MakeExactEntry(clean, e.name, e.folder, "x"));

    EXPECT_TRUE(IO_RecursiveRM(clean.c_str()));
    EXPECT_EQ(EntriesIn(clean), 0);
    EXPECT_EQ(ReadFileText(scratch / "outside\\a.txt"), "outside");
    EXPECT_EQ(ReadFileText(scratch / "outside\\sub\\b.txt"), "deeper");
    EXPECT_EQ(ReadFileText(scratch / "victim.txt"), "victim");
}

// Only "X:\name..." and "\\server\share\name..." (and their "\\?\" forms)
// with no name that climbs and no ":" below the prefix: a stream of a folder
// names that folder, which may be the drive's root.
TEST(RemovalNames, OnlyFoldersBelowARootAreRemovalFolders) {
    const struct {
        const char* folder;
        bool accepted;
    } cases[] = {
        {"C:\\Data", true},
        {"C:\\Data\\sub", true},
        {"\\\\?\\C:\\Data", true},
        {"\\\\server\\share\\Data", true},
        {"\\\\?\\UNC\\server\\share\\Data", true},
        {"C:\\", false},
        {"C:\\:$I30:$INDEX_ALLOCATION", false},
        {"\\\\?\\C:\\:$I30:$INDEX_ALLOCATION", false},
        {"C:\\Data:$I30:$INDEX_ALLOCATION", false},
        {"C:\\Data\\a:stream", false},
        {"\\\\server\\share\\a:b", false},
        {"\\\\?\\C:\\Data\\..", false},
        {"\\\\.\\C:\\Data", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        std::string resolved;
        EXPECT_EQ(ResolveRemovalFolder(c.folder, &resolved), c.accepted);
    }
}

// A handle's own name against the name the walk expects: the folders'
// names exactly (a case twin of a folder is another folder), the last name
// without regard to case, any lacking only trailing dots and spaces as Wine
// reports names; anything else, and a name one longer or shorter, differs.
// An entry is one name of its folder only when it holds no separator.
TEST(RemovalNamesTest, ReportedPathsAndSingleNames) {
    struct Case {
        std::u16string reported, expected;
        bool same, lastInexact;
    } cases[] = {
        {u"\\t\\clean\\a.txt", u"\\t\\clean\\a.txt", true, false},
        {u"\\t\\clean\\a.txt", u"\\t\\clean\\A.TXT", true, true},
        {u"\\t\\x\\victim.txt", u"\\t\\X\\victim.txt", false, false},
        {u"\\T\\clean\\a.txt", u"\\t\\clean\\a.txt", false, false},
        {u"\\t\\abc\\f", u"\\t\\abc.\\f", true, false},
        {u"\\t\\ABC\\f", u"\\t\\abc.\\f", false, false},
        {u"\\t\\sp \\f", u"\\t\\sp \\f", true, false},
        {u"\\t\\x", u"\\t\\x. .", true, true},
        {u"\\t\\X", u"\\t\\x. .", true, true},
        {u"\\t\\x. \\g", u"\\t\\x. .\\g", true, false},
        {u"\\t\\", u"\\t\\...", false, false},
        {u"\\out\\victim.txt", u"\\t\\clean\\victim.txt", false, false},
        {u"\\t\\clean", u"\\t\\clean\\x", false, false},
        {u"\\t\\clean\\x\\y", u"\\t\\clean\\x", false, false},
        {u"\\t\\ab", u"\\t\\abc.", false, false},
        {u"\\t\\abc.", u"\\t\\abc", false, false},
        {u"\\t\\\uFF41", u"\\t\\\uFF21", true, true},
        {u"\\t\\\uFF41\\f", u"\\t\\\uFF21\\f", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.reported.begin(), c.reported.end()) + " for " +
                     std::string(c.expected.begin(), c.expected.end()));
        const WideName reported(c.reported.begin(), c.reported.end()), expected(c.expected.begin(), c.expected.end());
        bool lastInexact = !c.lastInexact;
        EXPECT_EQ(IsReportedPathOf(reported, expected, &lastInexact), c.same);
        if (c.same) {
            EXPECT_EQ(lastInexact, c.lastInexact);
        }
    }
    for (const char16_t* name : {u"lnk\\victim.txt", u"a/b", u".", u"..", u""})
        EXPECT_FALSE(IsOneName(WideName(name, name + std::char_traits<char16_t>::length(name))));
    const std::u16string lookAlike = u"..\uFF3Cvictim.txt";
    EXPECT_TRUE(IsOneName(WideName(lookAlike.begin(), lookAlike.end())));
}

}  // namespace
