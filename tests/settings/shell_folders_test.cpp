// The installation-directory and shell-folder readers against registry values
// of every shape.  Win32 calls only: the same cases run against Wine's registry.
#include "settings/shell_folders.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/win32.h"
#include "settings/reg_key.h"
#include "support/test_registry_key.h"

namespace {

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kMemoryManagement[] = "System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

// A stored value: its exact bytes (no terminator added) and registry type.
struct Stored {
    std::string bytes;
    DWORD type = REG_SZ;
};
std::optional<Stored> Sz(const std::string& text) {
    return Stored{text + '\0', REG_SZ};
}
std::optional<Stored> Raw(const std::string& bytes, DWORD type = REG_BINARY) {
    return Stored{bytes, type};
}
const std::optional<Stored> kMissing;

void Put(HKEY key, const char* name, const std::optional<Stored>& value) {
    RegDeleteValueA(key, name);
    if (!value)
        return;
    ASSERT_EQ(RegSetValueExA(key, name, 0, value->type, reinterpret_cast<const BYTE*>(value->bytes.data()),
                             static_cast<DWORD>(value->bytes.size())),
              ERROR_SUCCESS);
}

// The product's settings key, emptied of the values these tests use before
// and after each test.
class ShellFoldersTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | kSettingsView,
                                  nullptr, &settings_, nullptr),
                  ERROR_SUCCESS);
        ClearValues();
        ASSERT_EQ(
            RegCreateKeyExA(user_.get(), kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &folders_, nullptr),
            ERROR_SUCCESS);
    }
    void TearDown() override {
        ClearValues();
        RegCloseKey(settings_);
        RegCloseKey(folders_);
    }
    void ClearValues() {
        for (const char* name : {"UIL", "USL", "PROG"}) RegDeleteValueA(settings_, name);
    }

    HKEY settings_ = nullptr;
    HKEY folders_ = nullptr;
    nmtest::TestRegistryKey user_{"ShellFolders"};  // stands for the caller's root key
};

const std::string k255(255, 'x');
const std::string k256(256, 'y');

struct LocationCase {
    const char* name;
    std::optional<Stored> uil;
    std::string location;  // GetProgramLocation
    std::string usl;       // GetUslText with the same bytes as "USL"
};
const LocationCase kLocationCases[] = {
    {"directory with trailing backslash", Sz("C:\\Program Files\\Nullmark\\"), "C:\\Program Files\\Nullmark",
     "C:\\Program Files\\Nullmark\\"},
    {"directory without trailing backslash", Sz("C:\\Program Files\\Nullmark"), "C:\\Program Files\\Nullmark",
     "C:\\Program Files\\Nullmark"},
    {"drive root loses exactly one backslash", Sz("C:\\"), "C:", "C:\\"},
    {"two trailing backslashes lose one", Sz("D:\\Nm\\\\"), "D:\\Nm\\", "D:\\Nm\\\\"},
    {"a lone backslash", Sz("\\"), "", "\\"},
    {"empty string", Sz(""), "", ""},
    {"missing value", kMissing, "", ""},
    {"255 characters and the NUL fill the buffer", Sz(k255), k255, k255},
    {"256 characters and the NUL do not fit", Sz(k256), "", ""},
    {"256 bytes without a NUL", Raw(k256), k256, k256},
    {"bytes without a NUL", Raw("E:\\Nm\\"), "E:\\Nm", "E:\\Nm\\"},
    {"text ends at the first NUL", Raw(std::string("F:\\a\0b\\", 6)), "F:\\a", "F:\\a"},
    {"type is not checked", Raw("ABC\\", REG_DWORD), "ABC", "ABC\\"},
};

TEST_F(ShellFoldersTest, ProgramLocationAndUslText) {
    for (const auto& c : kLocationCases) {
        SCOPED_TRACE(c.name);
        Put(settings_, "UIL", c.uil);
        Put(settings_, "USL", c.uil);
        EXPECT_EQ(GetProgramLocation(), c.location);
        EXPECT_EQ(GetUslText(), c.usl);
    }
}

struct GroupCase {
    const char* name;
    std::optional<Stored> commonPrograms, programs, prog;
    std::string group;
};
const GroupCase kGroupCases[] = {
    {"Programs with a relative PROG", kMissing, Sz("C:\\WINDOWS\\Start Menu\\Programs"), Sz(".\\Nullmark"),
     "C:\\WINDOWS\\Start Menu\\Programs\\Nullmark"},
    {"folder already ends in a backslash", Sz("D:\\Menu\\"), kMissing, Sz("Nullmark 4"), "D:\\Menu\\Nullmark 4"},
    {"Common Programs wins over Programs", Sz("C:\\All\\Programs"), Sz("C:\\Me\\Programs"), Sz("Nullmark"),
     "C:\\All\\Programs\\Nullmark"},
    {"a leading dot drops two characters whatever the second is", Sz("C:\\P"), kMissing, Sz(".XNullmark"),
     "C:\\P\\Nullmark"},
    {"a lone dot adds nothing", Sz("C:\\P"), kMissing, Sz("."), "C:\\P\\"},
    {"PROG missing gives nothing, not the bare folder", Sz("C:\\P"), kMissing, kMissing, ""},
    {"no shell folder", kMissing, kMissing, Sz("Nullmark"), ""},
    {"shell folder too long counts as missing", Sz(k256), kMissing, Sz("Nullmark"), ""},
    {"too long Common Programs falls back to Programs", Sz(k256), Sz("C:\\P"), Sz("N"), "C:\\P\\N"},
};

TEST_F(ShellFoldersTest, ProgramGroupFolder) {
    for (const auto& c : kGroupCases) {
        SCOPED_TRACE(c.name);
        Put(folders_, "Common Programs", c.commonPrograms);
        Put(folders_, "Programs", c.programs);
        Put(settings_, "PROG", c.prog);
        EXPECT_EQ(GetProgramGroupFolder(user_.get()), c.group);
    }
}

struct DesktopCase {
    const char* name;
    std::optional<Stored> commonDesktop, desktop;
    std::string folder;
};
const DesktopCase kDesktopCases[] = {
    {"Common Desktop first, as stored", Sz("C:\\All\\Desktop\\"), Sz("C:\\Me\\Desktop"), "C:\\All\\Desktop\\"},
    {"Desktop when Common Desktop is missing", kMissing, Sz("C:\\Me\\Desktop"), "C:\\Me\\Desktop"},
    {"neither", kMissing, kMissing, ""},
};

TEST_F(ShellFoldersTest, DesktopFolder) {
    for (const auto& c : kDesktopCases) {
        SCOPED_TRACE(c.name);
        Put(folders_, "Common Desktop", c.commonDesktop);
        Put(folders_, "Desktop", c.desktop);
        EXPECT_EQ(GetDesktopFolder(user_.get()), c.folder);
    }
}

TEST_F(ShellFoldersTest, ShellFoldersKeyMissingUnderTheRoot) {
    nmtest::TestRegistryKey bare("ShellFoldersBare");
    EXPECT_EQ(GetDesktopFolder(bare.get()), "");
    Put(settings_, "PROG", Sz("Nullmark"));
    EXPECT_EQ(GetProgramGroupFolder(bare.get()), "");
}

DWORD ReadClearPageFile(HKEY key) {
    DWORD value = 0xDEAD, type = 0, size = sizeof value;
    if (RegQueryValueExA(key, "ClearPageFileAtShutdown", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return 0xFFFFFFFF;
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    return value;
}

TEST(ClearPageFileAtShutdown, WritesTheDwordOnTheNtFamily) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMemoryManagement, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    SetClearPageFileAtShutdown(true);
    EXPECT_EQ(ReadClearPageFile(key), 1u);
    SetClearPageFileAtShutdown(false);
    EXPECT_EQ(ReadClearPageFile(key), 0u);
    RegDeleteValueA(key, "ClearPageFileAtShutdown");
    RegCloseKey(key);
}

}  // namespace
