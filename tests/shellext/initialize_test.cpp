// IShellExtInit::Initialize: what the extension captures from the shell's
// data object, and the reference it holds on it.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "support/com_helpers.h"

namespace {

using nmtest::Extension;
using Paths = std::vector<std::string>;

TEST(Initialize, CapturesTheSelectionInTheShellsOrder) {
    struct Case {
        const char* name;
        Paths paths;
    };
    const Case cases[] = {
        {"three files", {"C:\\docs\\a.txt", "C:\\docs\\b.txt", "C:\\docs\\c.txt"}},
        {"a drive root", {"C:\\"}},
        {"roots of two drives", {"D:\\", "E:\\"}},
        {"a network share", {"\\\\server\\share\\a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Extension ext;
        ASSERT_EQ(ext.Initialize(c.paths), S_OK);
        EXPECT_EQ(ext.object().SelectionCount(), c.paths.size());
        EXPECT_EQ(ext.object().Selection(), c.paths);
        EXPECT_FALSE(ext.object().IsWin9x()) << "this suite runs on the NT family";
    }
}

TEST(Initialize, APathLongerThan259CharactersIsCutTo259) {
    const std::string longPath = "C:\\" + std::string(400, 'p') + ".txt";
    Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\short.txt", longPath}), S_OK);
    ASSERT_EQ(ext.object().Selection().size(), 2u);
    EXPECT_EQ(ext.object().Selection()[1], longPath.substr(0, 259));
}

// A second Initialize over a first one's selection: what the object keeps,
// and which data object it holds.
TEST(Initialize, ASecondCallReplacesKeepsOrDropsTheSelection) {
    enum class Second { kFiles, kNoFileList, kNoHandle, kNone };
    struct Case {
        const char* name;
        Second second;
        HRESULT result;
        Paths selection;
        ULONG firstRefs, secondRefs;  // after the call, the test's own reference included
    };
    const Case cases[] = {
        {"a new file list replaces it", Second::kFiles, S_OK, {"D:\\second.txt", "D:\\third.txt"}, 1, 2},
        {"a data object without a file list keeps it", Second::kNoFileList, E_FAIL, {"C:\\first.txt"}, 1, 2},
        {"a medium without a handle empties it", Second::kNoHandle, S_OK, {}, 1, 2},
        {"no data object drops it", Second::kNone, E_INVALIDARG, {}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DropDataObject* first = DropDataObject::Create({"C:\\first.txt"});
        DropDataObject* second = DropDataObject::Create({"D:\\second.txt", "D:\\third.txt"});
        second->RefuseDrop(c.second == Second::kNoFileList);
        second->GiveEmptyMedium(c.second == Second::kNoHandle);
        {
            Extension ext;
            ASSERT_EQ(ext.init()->Initialize(nullptr, first, nullptr), S_OK);
            EXPECT_EQ(first->RefCount(), 2u);
            EXPECT_EQ(ext.init()->Initialize(nullptr, c.second == Second::kNone ? nullptr : second, nullptr),
                      c.result);
            EXPECT_EQ(ext.object().Selection(), c.selection);
            EXPECT_EQ(ext.object().SelectionCount(), c.selection.size());
            EXPECT_EQ(first->RefCount(), c.firstRefs) << "the first data object was given back";
            if (c.secondRefs != 0) {
                EXPECT_EQ(second->RefCount(), c.secondRefs) << "the latest data object is held";
            }
        }
        EXPECT_EQ(second->RefCount(), 1u) << "the extension gives it back when it goes";
        first->Release();
        second->Release();
    }
}

}  // namespace
