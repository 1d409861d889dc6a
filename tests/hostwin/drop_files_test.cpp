// DragQueryFileA over dropped-file lists built the shell's way.
#include <gtest/gtest.h>

#include <cstring>

#include <string>

#include "platform/win32.h"
#include "shellhost/drop_data_object.h"

namespace {

class DropList {
public:
    explicit DropList(const std::vector<std::string>& paths) : mem_(DropDataObject::BuildDropList(paths)) {}
    ~DropList() { GlobalFree(mem_); }
    DropList(const DropList&) = delete;
    DropList& operator=(const DropList&) = delete;
    HDROP get() const { return static_cast<HDROP>(mem_); }

private:
    HGLOBAL mem_;
};

// The count, each name in order, the length alone for a null buffer (no
// terminator counted), a long name cut to the buffer and terminated, and
// nothing past the end.
TEST(DragQueryFile, CountsNamesAndGivesEachInOrderWithinTheBuffer) {
    const std::string longName = "C:\\" + std::string(300, 'x');
    const std::vector<std::string> paths{"C:\\a.txt", "C:\\dir\\b.txt", "D:\\", longName};
    DropList drop(paths);
    EXPECT_EQ(DragQueryFileA(drop.get(), 0xFFFFFFFF, nullptr, 0), 4u);
    EXPECT_EQ(DragQueryFileA(drop.get(), 1, nullptr, 0), 12u);
    for (UINT i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(i);
        char name[MAX_PATH];
        std::memset(name, '#', sizeof name);
        const std::string expected = paths[i].substr(0, MAX_PATH - 1);
        EXPECT_EQ(DragQueryFileA(drop.get(), i, name, MAX_PATH), expected.size());
        EXPECT_EQ(std::string(name), expected);
    }
    char name[MAX_PATH] = "unchanged";
    EXPECT_EQ(DragQueryFileA(drop.get(), 4, name, MAX_PATH), 0u);
}

}  // namespace
