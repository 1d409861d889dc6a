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

TEST(Initialize, HoldsOneReferenceOnTheLatestDataObjectOnly) {
    Extension ext;
    DropDataObject* first = DropDataObject::Create({"C:\\first.txt"});
    DropDataObject* second = DropDataObject::Create({"D:\\second.txt", "D:\\third.txt"});

    ASSERT_EQ(ext.init()->Initialize(nullptr, first, nullptr), S_OK);
    EXPECT_EQ(first->RefCount(), 2u);
    ASSERT_EQ(ext.init()->Initialize(nullptr, second, nullptr), S_OK);
    EXPECT_EQ(first->RefCount(), 1u) << "the first data object was given back";
    EXPECT_EQ(second->RefCount(), 2u);
    EXPECT_EQ(ext.object().Selection(), (Paths{"D:\\second.txt", "D:\\third.txt"}));

    first->Release();
    second->Release();
}

TEST(Initialize, ReleasesTheDataObjectWhenTheExtensionGoes) {
    DropDataObject* data = DropDataObject::Create({"C:\\a.txt"});
    {
        Extension ext;
        ASSERT_EQ(ext.init()->Initialize(nullptr, data, nullptr), S_OK);
        EXPECT_EQ(data->RefCount(), 2u);
    }
    EXPECT_EQ(data->RefCount(), 1u);
    data->Release();
}

TEST(Initialize, ADataObjectWithoutAFileListFailsAndKeepsTheEarlierSelection) {
    Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\kept.txt"}), S_OK);

    DropDataObject* refusing = DropDataObject::Create({"C:\\other.txt"});
    refusing->RefuseDrop(true);
    EXPECT_EQ(ext.init()->Initialize(nullptr, refusing, nullptr), E_FAIL);
    EXPECT_EQ(ext.object().Selection(), (Paths{"C:\\kept.txt"}));
    EXPECT_EQ(ext.object().SelectionCount(), 1u);
    EXPECT_EQ(refusing->RefCount(), 2u) << "the refusing data object is still held";
    refusing->Release();
}

TEST(Initialize, AMediumWithoutAHandleGivesAnEmptySelection) {
    Extension ext;
    ASSERT_EQ(ext.Initialize({"C:\\old.txt"}), S_OK);
    DropDataObject* empty = DropDataObject::Create({"C:\\ignored.txt"});
    empty->GiveEmptyMedium(true);
    EXPECT_EQ(ext.init()->Initialize(nullptr, empty, nullptr), S_OK);
    EXPECT_EQ(ext.object().SelectionCount(), 0u);
    EXPECT_TRUE(ext.object().Selection().empty());
    empty->Release();
}

TEST(Initialize, WithoutADataObjectTheSelectionIsDroppedAndTheCallRefused) {
    Extension ext;
    DropDataObject* data = DropDataObject::Create({"C:\\a.txt"});
    ASSERT_EQ(ext.init()->Initialize(nullptr, data, nullptr), S_OK);
    EXPECT_EQ(ext.init()->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(data->RefCount(), 1u) << "the earlier data object was given back";
    EXPECT_EQ(ext.object().SelectionCount(), 0u);
    EXPECT_TRUE(ext.object().Selection().empty());
    data->Release();
}

}  // namespace
