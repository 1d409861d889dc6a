// How the narrow calls show and take names that the ANSI code page cannot
// hold exactly: Windows' best-fit rendering, and the trailing dots and blanks
// a path's last name loses.  Runs on hostwin and under Wine (code page 1252).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/exact_names.h"
#include "support/file_helpers.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::MakeExactEntry;
using ScratchFolder = nmtest::ExactScratchFolder;
using nmtest::WriteFileText;

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(NarrowNames, ListsNamesThroughTheBestFitRendering) {
    ScratchFolder dir("best-fit");
    struct Case {
        std::u16string exact;
        bool directory;
        const char* shown;
    } cases[] = {
        {u"..\uFF0Foutside", true, "../outside"},      // full-width solidus
        {u"..\uFF3Cvictim.txt", false, "..\\victim.txt"},  // full-width reverse solidus
        {u"\uFF41.txt", false, "a.txt"},                // full-width small a
        {u"\uFF0E\uFF0E", true, ".."},                  // two full-width full stops
        {u"\u6570.txt", false, "?.txt"},                // nothing like it in the code page
        {u"caf\u00E9.txt", false, "caf\xE9.txt"},       // in the code page: exact
    };
    std::vector<std::string> expected = {".", ".."};
    for (const auto& c : cases) {
        ASSERT_TRUE(MakeExactEntry(dir.path(), c.exact, c.directory)) << c.shown;
        expected.push_back(c.shown);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(dir.path()), expected);
}

TEST(NarrowNames, TheLastNameLosesItsTrailingDotsAndBlanks) {
    ScratchFolder dir("trailing");
    ASSERT_TRUE(WriteFileText(dir / "abc", "plain"));
    ASSERT_TRUE(MakeExactEntry(dir.path(), u"only.", false, "dotted"));
    ASSERT_TRUE(MakeExactEntry(dir.path(), u"sp ", true));
    ASSERT_TRUE(WriteFileText(dir / "sp \\in.txt", "inside"));
    struct Case {
        const char* name;
        const char* content;  // nullptr: not found
    } cases[] = {
        {"abc", "plain"},   {"abc.", "plain"}, {"abc. .", "plain"}, {"abc ", "plain"},
        {"only.", nullptr},  // asks for "only", which does not exist
        {"sp \\in.txt", "inside"},  // a blank before a separator stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nmtest::ReadFileText(dir / c.name), c.content ? c.content : "<cannot open>");
    }
}

TEST(NarrowNames, AWesternSystemHasNoDoubleByteCharacters) {
    EXPECT_EQ(GetACP(), 1252u);
    for (int b : {0x81, 0x95, 0xE0, 0xFC})
        EXPECT_FALSE(IsDBCSLeadByte(static_cast<BYTE>(b))) << b;
    const char text[] = "\x95\x5C";
    EXPECT_EQ(CharNextA(text), text + 1);
    EXPECT_EQ(CharNextA(text + 2), text + 2) << "the end stays the end";
}

}  // namespace
