// IsSafeToDestroy on a simulated C: with the product installed in
// C:\Nullmark (stored with its trailing backslash): the rules in their order, and the reasons.
#include "ioutils/protected_files.h"

#include <gtest/gtest.h>

#include "hostwin/machine.h"
#include "ioutils/recursive_remove.h"
#include "support/file_helpers.h"

namespace {

using hostwin::Machine;

constexpr char kInstalled[] =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n"
    "\"UIL\"=\"C:\\\\Nullmark\\\\\"\r\n";

class ProtectedFilesTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::DriveSetup c;
        c.letter = 'C';
        Machine::AddDrive(c);
        ASSERT_TRUE(Machine::ImportRegistry(kInstalled));
    }
    void TearDown() override { Machine::Reset(); }

    static void Make(const std::string& path, DWORD attributes = 0) {
        ASSERT_TRUE(nmtest::MakeFile(path, attributes)) << path;
    }
};

TEST_F(ProtectedFilesTest, EachRuleRefusesWithItsReason) {
    struct Case {
        const char* path;
        DWORD attributes;
        bool make;
        DWORD reason;  // 0: allowed
    } cases[] = {
        {"C:\\WINDOWS\\notepad.txt", 0, true, kRefusedProtectedPlace},
        {"C:\\Windows\\Temp\\x.tmp", 0, true, kNotRefused},
        {"C:\\Documents and Settings\\x.doc", 0, true, kRefusedProtectedPlace},
        {"C:\\Documents and Settings\\ann\\Desktop\\x.doc", 0, true, kNotRefused},
        {"C:\\x.doc", 0, true, kNotRefused},
        {"C:\\ab\\x.doc", 0, true, kRefusedProtectedPlace},
        {"C:\\data\\report.EXE", 0, true, kRefusedSystemFile},
        {"C:\\data\\font.TTF", 0, true, kRefusedSystemFile},
        {"C:\\data\\archive.exe1", 0, true, kNotRefused},
        {"C:\\data\\missing.doc", 0, false, kRefusedSystemFile},
        {"C:\\data\\hidden.doc", FILE_ATTRIBUTE_HIDDEN, true, kRefusedSystemFile},
        {"C:\\data\\system.doc", FILE_ATTRIBUTE_SYSTEM, true, kRefusedSystemFile},
        {"C:\\data\\readonly.doc", FILE_ATTRIBUTE_READONLY, true, kNotRefused},
        // The system-file test comes first, even inside a system folder.
        {"C:\\WINDOWS\\hidden.doc", FILE_ATTRIBUTE_HIDDEN, true, kRefusedSystemFile},
        {"C:\\Program Files\\Nullmark\\readme.doc", 0, true, kRefusedProtectedPlace},
        {"C:\\Nullmark\\readme.doc", 0, true, kRefusedProtectedPlace},
        {"C:\\NULLMARK\\Sub\\data.doc", 0, true, kRefusedProtectedPlace},
        {"C:\\Nullmark\\NMActionLog.txt", 0, true, kNotRefused},
        {"C:\\Nullmark\\TXTnotes.doc", 0, true, kNotRefused},
        {"C:\\Nullmark2\\x.doc", 0, true, kRefusedProtectedPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.make)
            Make(c.path, c.attributes);
        DWORD reason = 99;
        EXPECT_EQ(IsSafeToDestroy(c.path, &reason), c.reason == kNotRefused);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(IsSafeToDestroy(c.path), c.reason == kNotRefused) << "without a reason";
    }
}

// An unknown program directory is the empty text, found in every path: only
// what the "txt" exemption lets pass may go.
TEST_F(ProtectedFilesTest, WithoutAKnownProgramDirectoryNothingButTextPathsMayGo) {
    Make("C:\\data\\copy.doc");
    Make("C:\\data\\notes.txt");
    Make("C:\\data\\tool.exe");
    const char* const kNoProgram[] = {
        nullptr,  // no "UIL" at all
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n\"UIL\"=\"\"\r\n",
    };
    for (const char* registry : kNoProgram) {
        SCOPED_TRACE(registry != nullptr ? "UIL empty" : "UIL absent");
        Machine::ClearRegistry();
        if (registry != nullptr) {
            ASSERT_TRUE(Machine::ImportRegistry(registry));
        }
        DWORD reason = 99;
        EXPECT_FALSE(IsSafeToDestroy("C:\\data\\copy.doc", &reason));
        EXPECT_EQ(reason, kRefusedProtectedPlace);
        EXPECT_TRUE(IsSafeToDestroy("C:\\data\\notes.txt", &reason));
        EXPECT_EQ(reason, kNotRefused);
        EXPECT_FALSE(IsSafeToDestroy("C:\\data\\tool.exe", &reason));
        EXPECT_EQ(reason, kRefusedSystemFile);
        EXPECT_EQ(RemoveFileIfSafe("C:\\data\\copy.doc"), 0u);
        EXPECT_TRUE(nmtest::Exists("C:\\data\\copy.doc"));
    }
}

TEST_F(ProtectedFilesTest, RemoveFileIfSafeDeletesOnlyWhatMayGo) {
    Make("C:\\data\\a.doc");
    Make("C:\\data\\b.dll");
    DWORD reason = 99;
    EXPECT_EQ(RemoveFileIfSafe("C:\\data\\a.doc", &reason), 1u);
    EXPECT_EQ(reason, kNotRefused);
    EXPECT_FALSE(nmtest::Exists("C:\\data\\a.doc"));
    EXPECT_EQ(RemoveFileIfSafe("C:\\data\\b.dll", &reason), 0u);
    EXPECT_EQ(reason, kRefusedSystemFile);
    EXPECT_TRUE(nmtest::Exists("C:\\data\\b.dll"));
}

}  // namespace
