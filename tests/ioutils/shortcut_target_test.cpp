// The shortcut target read from the file's bytes.  Win32 calls only: runs on
// hostwin and under Wine.
#include "ioutils/shortcut_target.h"

#include <gtest/gtest.h>

#include "support/file_helpers.h"
#include "support/scratch_folder.h"
#include "support/shortcut_builder.h"

namespace {

using nmtest::BuildShortcut;
using nmtest::ScratchFolder;
using nmtest::ShortcutFields;

constexpr char kAppPath[] = "C:\\Program Files\\App\\app.exe";

struct TargetCase {
    const char* name;
    ShortcutFields fields;
    const char* target;
};

const TargetCase kTargets[] = {
    {"local, empty label", {kAppPath, "", "", ""}, kAppPath},
    {"local, label DATA", {kAppPath, "DATA", "", ""}, kAppPath},
    {"local, long item list", {"D:\\x.doc", "VOL", "", "", 3000}, "D:\\x.doc"},
    {"network share and suffix", {"", "", "\\\\server\\share", "dir\\file.exe"}, "\\\\server\\share\\dir\\file.exe"},
    // Without a suffix the first string met is the share name itself, so
    // the walk gives it twice.
    {"network share alone", {"", "", "\\\\server\\share", ""}, "\\\\server\\share\\\\\\server\\share"},
    // A label byte 2 reads as the network mark: the walk takes the path for
    // a share name and the local path it had gathered is dropped.
    {"label holding the byte 2", {kAppPath, "\x02", "", ""}, "C:\\Program Files\\App\\app.exe\\"},
};

TEST(ShortcutTarget, FindsLocalAndNetworkTargets) {
    ScratchFolder dir("shortcuts");
    for (const auto& c : kTargets) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "t.lnk";
        ASSERT_TRUE(nmtest::WriteFileText(path, BuildShortcut(c.fields)));
        EXPECT_EQ(ShortcutTarget(path.c_str()), c.target);
    }
}

TEST(ShortcutTarget, RefusesWhatIsNoShortcut) {
    ScratchFolder dir("not-shortcuts");
    const std::string good = BuildShortcut({kAppPath, "", "", ""});
    std::string badHeader = good;
    badHeader[0] = 0x4D;
    struct Case {
        const char* name;
        std::string file;
        std::string bytes;
    } cases[] = {
        {"upper-case extension", "x.LNK", good},
        {"no extension", "x", good},
        {"header size 77", "x.lnk", badHeader},
        {"empty file", "x.lnk", ""},
        {"text file", "x.lnk", "just some text in a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.file;
        ASSERT_TRUE(nmtest::WriteFileText(path, c.bytes));
        EXPECT_EQ(ShortcutTarget(path.c_str()), "");
        DeleteFileA(path.c_str());
    }
    EXPECT_EQ(ShortcutTarget((dir / "missing.lnk").c_str()), "");
    EXPECT_EQ(ShortcutTarget(nullptr), "");
    // ".lnk" anywhere in the path will do.
    ASSERT_TRUE(CreateDirectoryA((dir / "a.lnk.d").c_str(), nullptr));
    ASSERT_TRUE(nmtest::WriteFileText(dir / "a.lnk.d\\target", good));
    EXPECT_EQ(ShortcutTarget((dir / "a.lnk.d\\target").c_str()), kAppPath);
}

std::string WithU32(std::string bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

TEST(ShortcutTarget, NeverLooksOutsideTheFirst4096Bytes) {
    ScratchFolder dir("shortcut-sizes");
    const ShortcutFields fields{kAppPath, "", "", ""};
    const std::string good = BuildShortcut(fields);
    const size_t blockStart = 78 + fields.idListSize;
    const std::string farList = BuildShortcut({kAppPath, "", "", "", 4100});
    // An item list that puts the path's last character at byte 4095, the
    // last one read, and one that puts it at 4096, so that the path straddles
    // the limit: the walk starts at the block's third-last byte.
    const size_t blockSize = good.size() - 78 - fields.idListSize - 4;
    const auto endingAt = [&](size_t lastPathByte) {
        return BuildShortcut({kAppPath, "", "", "", static_cast<uint16_t>(lastPathByte + 3 - 78 - blockSize)});
    };
    struct Case {
        const char* name;
        std::string bytes;
        const char* target;
    } cases[] = {
        {"block size pointing far beyond", WithU32(good, blockStart, 0xFFFFFFF0u), ""},
        {"block starting beyond 4096 bytes", farList, ""},
        {"a long file read in its first 4096 bytes", good + std::string(10000, 'z'), kAppPath},
        {"a path ending at the last byte read", endingAt(4095), kAppPath},
        {"a path straddling the 4096th byte", endingAt(4096), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "s.lnk";
        ASSERT_TRUE(nmtest::WriteFileText(path, c.bytes));
        EXPECT_EQ(ShortcutTarget(path.c_str()), c.target);
    }
}

}  // namespace
