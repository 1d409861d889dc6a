// File attributes, share modes and the C runtime's delete and open, through
// the Win32 and C runtime calls only: runs on hostwin and under Wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "platform/win32.h"
#include "support/file_helpers.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::Exists;
using nmtest::ReadFileText;
using nmtest::ScratchFolder;
using nmtest::WriteFileText;

constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

TEST(FileSharing, ReadOnlyHiddenAndSystemAreKeptAndFound) {
    ScratchFolder dir("attributes");
    const std::string path = dir / "a.txt";
    ASSERT_TRUE(WriteFileText(path, "x"));
    for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}, DWORD{FILE_ATTRIBUTE_READONLY},
                             kKept, DWORD{0}}) {
        SCOPED_TRACE(testing::Message() << "attributes 0x" << std::hex << attributes);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & kKept, attributes);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir / "a.*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        EXPECT_EQ(found.dwFileAttributes & kKept, attributes) << found.cFileName;
        FindClose(search);
    }
    EXPECT_EQ(GetFileAttributesA(dir.path().c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesA((dir / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST(FileSharing, HiddenAndSystemFilesDeleteButAReadOnlyOneDoesNot) {
    ScratchFolder dir("attribute-delete");
    struct Case {
        DWORD attributes;
        bool deletes;
    } cases[] = {{FILE_ATTRIBUTE_HIDDEN, true}, {FILE_ATTRIBUTE_SYSTEM, true}, {FILE_ATTRIBUTE_READONLY, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "attributes 0x" << std::hex << c.attributes);
        const std::string path = dir / "f.bin";
        ASSERT_TRUE(WriteFileText(path, "x"));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
        EXPECT_EQ(DeleteFileA(path.c_str()) != FALSE, c.deletes);
        if (!c.deletes) {
            EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
            EXPECT_EQ(_unlink(path.c_str()), -1);
            EXPECT_EQ(errno, EACCES);
            SetFileAttributesA(path.c_str(), 0);
            DeleteFileA(path.c_str());
        }
    }
}

// What another holder of the file allows decides whether it can be deleted
// or emptied meanwhile.
struct HolderCase {
    const char* name;
    DWORD share;
    bool deletes;  // DeleteFileA / _unlink succeed
    bool empties;  // _fsopen(..., "wb", _SH_DENYNO) opens it
};
constexpr HolderCase kHolders[] = {
    {"shares everything", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, true},
    {"shares reading and writing", FILE_SHARE_READ | FILE_SHARE_WRITE, false, true},
    {"shares reading", FILE_SHARE_READ, false, false},
    {"shares nothing", 0, false, false},
};

TEST(FileSharing, AHolderWithoutDeleteSharingKeepsTheFile) {
    ScratchFolder dir("sharing");
    for (const auto& c : kHolders) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "held.txt";
        ASSERT_TRUE(WriteFileText(path, "content"));
        HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);

        const BOOL deleted = DeleteFileA(path.c_str());
        EXPECT_EQ(deleted != FALSE, c.deletes);
        if (!deleted) {
            EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
            errno = 0;
            EXPECT_EQ(_unlink(path.c_str()), -1);
            EXPECT_EQ(errno, EACCES) << "the C runtime reports a held file as access denied";
            FILE* file = _fsopen(path.c_str(), "wb", _SH_DENYNO);
            EXPECT_EQ(file != nullptr, c.empties);
            if (file != nullptr) {
                std::fclose(file);
                EXPECT_EQ(ReadFileText(path), "") << "opened for writing empties it";
            } else {
                EXPECT_EQ(errno, EACCES);
            }
        }
        CloseHandle(holder);
        DeleteFileA(path.c_str());
        EXPECT_FALSE(Exists(path));
    }
}

TEST(FileSharing, TheRuntimesStreamsReadAndWriteTheSimulatedFiles) {
    ScratchFolder dir("streams");
    const std::string path = dir / "s.txt";
    FILE* out = _fsopen(path.c_str(), "wb", _SH_DENYNO);
    ASSERT_NE(out, nullptr);
    std::fputs("one two", out);
    std::fclose(out);
    FILE* in = _fsopen(path.c_str(), "rb", _SH_DENYWR);
    ASSERT_NE(in, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, in), 7u);
    EXPECT_STREQ(text, "one two");
    EXPECT_EQ(_fsopen(path.c_str(), "ab", _SH_DENYNO), nullptr) << "the reader denies writing";
    std::fclose(in);
    EXPECT_EQ(_fsopen((dir / "missing\\x.txt").c_str(), "wb", _SH_DENYNO), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_unlink((dir / "missing.txt").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

bool IsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A folder held open without delete sharing (as the removal walk holds each
// folder it enters) can be neither renamed nor removed, and a folder with an
// open handle inside it cannot be renamed: nothing on the path can be swapped
// for a link while the handles are held.  Once they are closed all of it
// works again.
TEST(FileSharing, AFolderHeldWithoutDeleteSharingStaysWhereItIs) {
    ScratchFolder dir("pinned");
    const std::string outer = dir / "outer", inner = dir / "outer\\inner";
    ASSERT_TRUE(CreateDirectoryA(outer.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(inner.c_str(), nullptr));
    HANDLE pin = CreateFileA(inner.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(pin, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(pin, &info));
    EXPECT_EQ(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              DWORD{FILE_ATTRIBUTE_DIRECTORY});

    // Wine 8 refuses the rename and the removal of the held folder as Windows
    // does, but renames the folder above it: there only the handle of each
    // folder on the path keeps that folder in place.
    const bool wine = IsWine();
    struct Case {
        const char* what;
        std::string from, to;  // no `to`: a removal
        DWORD windowsError;
        bool wineRefuses;
    };
    const Case cases[] = {
        {"rename of the held folder", inner, dir / "outer\\moved", ERROR_SHARING_VIOLATION, true},
        {"removal of the held folder", inner, "", ERROR_SHARING_VIOLATION, true},
        {"rename of the folder above it", outer, dir / "moved", ERROR_ACCESS_DENIED, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BOOL ok = c.to.empty() ? RemoveDirectoryA(c.from.c_str()) : MoveFileA(c.from.c_str(), c.to.c_str());
        const DWORD error = GetLastError();
        if (wine && !c.wineRefuses) {
            EXPECT_TRUE(ok);
            if (ok && !c.to.empty())
                MoveFileA(c.to.c_str(), c.from.c_str());  // back, for the next row
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, c.windowsError);
    }
    CloseHandle(pin);
    EXPECT_TRUE(MoveFileA(outer.c_str(), (dir / "moved").c_str()));
    EXPECT_TRUE(RemoveDirectoryA((dir / "moved\\inner").c_str()));
}

}  // namespace
