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

TEST(DragQueryFile, CountsTheNamesAndGivesEachInOrder) {
    DropList drop({"C:\\a.txt", "C:\\dir\\b.txt", "D:\\"});
    EXPECT_EQ(DragQueryFileA(drop.get(), 0xFFFFFFFF, nullptr, 0), 3u);
    const char* expected[] = {"C:\\a.txt", "C:\\dir\\b.txt", "D:\\"};
    for (UINT i = 0; i < 3; ++i) {
        char name[MAX_PATH] = {};
        EXPECT_EQ(DragQueryFileA(drop.get(), i, name, MAX_PATH), std::string(expected[i]).size());
        EXPECT_STREQ(name, expected[i]);
    }
}

TEST(DragQueryFile, ANullBufferAsksForTheLengthWithoutTerminator) {
    DropList drop({"C:\\thirteen.txt"});
    EXPECT_EQ(DragQueryFileA(drop.get(), 0, nullptr, 0), 15u);
}

TEST(DragQueryFile, ALongNameIsCutToTheBufferAndTerminated) {
    const std::string longName = "C:\\" + std::string(300, 'x');
    DropList drop({longName});
    char name[MAX_PATH];
    std::memset(name, '#', sizeof name);
    DragQueryFileA(drop.get(), 0, name, MAX_PATH);
    EXPECT_EQ(std::string(name), longName.substr(0, MAX_PATH - 1));
    EXPECT_EQ(name[MAX_PATH - 1], '\0');
}

TEST(DragQueryFile, AnIndexPastTheEndGivesNothing) {
    DropList drop({"C:\\a.txt"});
    char name[MAX_PATH] = "unchanged";
    EXPECT_EQ(DragQueryFileA(drop.get(), 1, name, MAX_PATH), 0u);
}

}  // namespace
