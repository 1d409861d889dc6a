// Code page 932 on the simulated machine: lead bytes, stepping over
// double-byte characters, and names whose second byte is "\" reaching the
// entry they name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "hostwin/machine.h"
#include "platform/win32.h"
#include "support/file_helpers.h"
#include "support/nt_calls.h"

namespace {

using hostwin::Machine;

// U+8868 in code page 932: its second byte is 0x5C, "\".
constexpr char kHyo[] = "\x95\x5C";

class CodePage932 : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::DriveSetup d;
        d.letter = 'D';
        host_ = Machine::AddDrive(d);
        Machine::SetCodePage(932);
    }
    void TearDown() override { Machine::Reset(); }
    std::string host_;
};

TEST_F(CodePage932, LeadBytesAndCharNext) {
    EXPECT_EQ(GetACP(), 932u);
    struct Case {
        int byte;
        bool lead;
    } cases[] = {{0x5C, false}, {0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
                 {0xDF, false}, {0xE0, true},  {0xFC, true}, {0xFD, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsDBCSLeadByte(static_cast<BYTE>(c.byte)) != FALSE, c.lead) << std::hex << c.byte;
    const std::string text = std::string("a") + kHyo + "\xB1";  // a, the ideograph, a half-width katakana
    const char* p = text.c_str();
    EXPECT_EQ(CharNextA(p), p + 1);
    EXPECT_EQ(CharNextA(p + 1), p + 3);
    EXPECT_EQ(CharNextA(p + 3), p + 4);
    const char cut[] = "\x95";  // a lead byte with nothing after it
    EXPECT_EQ(CharNextA(cut), cut + 1);
    Machine::Reset();
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_FALSE(IsDBCSLeadByte(0x95));
}

TEST_F(CodePage932, ANameEndingInByte5CIsANameNotASeparator) {
    const std::string folder = std::string("D:\\Data\\") + kHyo;
    ASSERT_TRUE(CreateDirectoryA("D:\\Data", nullptr));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_TRUE(nmtest::WriteFileText(folder + "\\sub.txt", "x"));
    EXPECT_EQ(Machine::HostPath(folder), host_ + "/Data/\xE8\xA1\xA8");  // U+8868 in UTF-8
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder.c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, kHyo);
    FindClose(search);
    char full[MAX_PATH];
    EXPECT_EQ(GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr), folder.size());
    EXPECT_EQ(std::string(full), folder);
    // The exact name through the handle calls is the one character.
    nmtest::nt::NtCalls nt;
    HANDLE data;
    ASSERT_EQ(nt.OpenFolder("D:\\Data", &data), nmtest::nt::kSuccess);
    const auto listed = nt.List(data);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].name, u"\u8868");
    CloseHandle(data);
}

TEST_F(CodePage932, FullWidthFormsAreCharactersOfTheCodePage) {
    ASSERT_EQ(::mkdir((host_ + "/..\xEF\xBC\x8Foutside").c_str(), 0755), 0);  // U+FF0F
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("D:\\*", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "..\x81\x5Eoutside");
    FindClose(search);
}

}  // namespace
