// Files and folders through the Win32 API only: this file runs on hostwin and,
// cross-built, against Wine's file system.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "platform/win32.h"
#include "support/scratch_folder.h"

namespace {

using nmtest::ScratchFolder;

void MakeFile(const std::string& path, const std::string& content = "") {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadAll(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    char buffer[256];
    DWORD read = 0;
    ReadFile(h, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(h);
    return std::string(buffer, read);
}

struct DispositionCase {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;  // GetLastError after the call, success or not
    const char* content;  // afterwards
};
constexpr DispositionCase kDispositions[] = {
    {CREATE_NEW, false, true, 0, ""},
    {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
    {CREATE_ALWAYS, false, true, 0, ""},
    {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
    {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
    {OPEN_EXISTING, true, true, 0, "old"},
    {OPEN_ALWAYS, false, true, 0, ""},
    {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
    {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
    {TRUNCATE_EXISTING, true, true, 0, ""},
};

TEST(DiskFiles, EachDispositionAnswersAsWindowsDoes) {
    ScratchFolder dir("dispositions");
    for (const auto& c : kDispositions) {
        SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << (c.exists ? ", file exists" : ""));
        const std::string path = dir / "f.txt";
        DeleteFileA(path.c_str());
        if (c.exists)
            MakeFile(path, "old");
        SetLastError(0xDEAD);
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        if (c.content)
            EXPECT_EQ(ReadAll(path), c.content);
        else
            EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(DiskFiles, MissingFoldersAndBadNamesAreRefused) {
    ScratchFolder dir("refused");
    MakeFile(dir / "f.txt");
    struct Case {
        std::string path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {dir / "nodir\\f.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir / "nodir\\f.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {dir / "f.txt\\g", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir / "f*.txt", CREATE_ALWAYS, ERROR_INVALID_NAME},
        {dir.path(), OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder, without backup semantics
        {dir.path(), CREATE_NEW, ERROR_FILE_EXISTS},
        {dir / "f.txt", 0, ERROR_INVALID_PARAMETER},
        {dir / "f.txt", 6, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " disposition " + std::to_string(c.disposition));
        HANDLE h = CreateFileA(c.path.c_str(), GENERIC_READ, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

struct ShareCase {
    DWORD access1, share1, access2, share2;
    bool secondOpens;
};
constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
constexpr ShareCase kShares[] = {
    {R, SR, R, SR, true},           {R, SR, W, SR | SW, false},      {R, SR | SW, W, SR | SW, true},
    {W, SR, R, SR, false},          {W, SR, R, SR | SW, true},       {R | W, 0, R, SR | SW, false},
    {R | W, SR | SW, R | W, SR | SW, true}, {R | W, 0, 0, 0, true},  // no data access: no sharing check
};

TEST(DiskFiles, ShareModesOfOpenHandlesDecideTheNextOpen) {
    ScratchFolder dir("share");
    MakeFile(dir / "f.txt", "x");
    for (const auto& c : kShares) {
        SCOPED_TRACE(testing::Message() << "first " << std::hex << c.access1 << "/" << c.share1 << ", second "
                                        << c.access2 << "/" << c.share2);
        HANDLE first = CreateFileA((dir / "f.txt").c_str(), c.access1, c.share1, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = CreateFileA((dir / "F.TXT").c_str(), c.access2, c.share2, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second == INVALID_HANDLE_VALUE)
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        else
            CloseHandle(second);
        CloseHandle(first);
    }
    HANDLE open = CreateFileA((dir / "f.txt").c_str(), R, SR | SW, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(DeleteFileA((dir / "f.txt").c_str())) << "open without FILE_SHARE_DELETE";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileA((dir / "f.txt").c_str()));
}

TEST(DiskFiles, ReadWriteAndTheFilePointer) {
    ScratchFolder dir("rw");
    HANDLE h = CreateFileA((dir / "f.bin").c_str(), R | W, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "world");
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(n, 0u) << "at the end: success, nothing read";
    EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_END), 13u);
    ASSERT_TRUE(WriteFile(h, "!", 1, &n, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 14u) << "writing past the end fills the gap";
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    CloseHandle(h);

    h = CreateFileA((dir / "f.bin").c_str(), R, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    h = CreateFileA((dir / "f.bin").c_str(), W, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(h);
}

TEST(DiskFiles, PathsFoldAsWindowsFoldsThem) {
    ScratchFolder dir("paths");
    ASSERT_TRUE(CreateDirectoryA((dir / "Sub").c_str(), nullptr));
    MakeFile(dir / "Sub\\File.txt", "data");
    const std::string drive = dir.path().substr(0, 2);
    const std::string tail = dir.path().substr(2);  // "\...\nm-paths"
    const std::string same[] = {
        dir / "sub\\file.TXT", dir / "SUB/file.txt", dir / "Sub\\..\\Sub\\.\\File.txt", dir / "Sub\\File.txt.",
        dir / "Sub\\File.txt ", drive + "\\..\\.." + tail + "\\Sub\\File.txt",
    };
    for (const auto& path : same)
        EXPECT_EQ(ReadAll(path), "data") << path;

    ASSERT_TRUE(SetCurrentDirectoryA((dir / "sub\\").c_str()));
    char cwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    EXPECT_EQ(std::string(cwd), dir / "sub") << "as given, without the trailing separator";
    const std::string relatives[] = {"file.txt", ".\\file.txt", drive + "file.txt", "..\\Sub\\file.txt",
                                     tail + "\\Sub\\file.txt"};
    for (const std::string& relative : relatives)
        EXPECT_EQ(ReadAll(relative), "data") << relative;
}

// Names written exactly as stored and names in another case must reach the
// same entry for the calls that change it, not only for reading.
TEST(DiskFiles, ChangesReachTheEntryWhateverTheCaseOfItsNames) {
    ScratchFolder dir("changes");
    struct Case {
        const char* made;   // folder and file as created
        const char* given;  // the same two as the calls name them
    } cases[] = {{"Exact\\Name.txt", "Exact\\Name.txt"}, {"Mixed\\Name.txt", "mIXED\\nAME.TXT"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        const std::string made = c.made, given = c.given;
        const std::string folder = made.substr(0, made.find('\\'));
        const std::string givenFolder = given.substr(0, given.find('\\'));
        ASSERT_TRUE(CreateDirectoryA((dir / folder).c_str(), nullptr));
        MakeFile(dir / made, "data");
        EXPECT_FALSE(CreateDirectoryA((dir / givenFolder).c_str(), nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        ASSERT_TRUE(SetFileAttributesA((dir / given).c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_FALSE(DeleteFileA((dir / given).c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        ASSERT_TRUE(SetFileAttributesA((dir / given).c_str(), FILE_ATTRIBUTE_NORMAL));
        EXPECT_TRUE(DeleteFileA((dir / given).c_str()));
        EXPECT_EQ(GetFileAttributesA((dir / made).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(GetFileAttributesA((dir / given + "\\more").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "a deleted file is no folder";
        EXPECT_TRUE(RemoveDirectoryA((dir / givenFolder).c_str()));
        EXPECT_EQ(GetFileAttributesA((dir / folder).c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(DiskFiles, CurrentDirectoryHasTheBufferRulesAndMustBeAFolder) {
    ScratchFolder dir("cwd");
    MakeFile(dir / "f.txt");
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const DWORD length = static_cast<DWORD>(dir.path().size());
    EXPECT_EQ(GetCurrentDirectoryA(0, nullptr), length + 1);
    char buf[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryA(length, buf), length + 1) << "no room for the terminator";
    EXPECT_EQ(GetCurrentDirectoryA(length + 1, buf), length);

    struct Case {
        std::string path;
        DWORD error;
    } bad[] = {{dir / "f.txt", ERROR_DIRECTORY}, {dir / "nope", ERROR_FILE_NOT_FOUND},
               {dir / "nodir\\nope", ERROR_PATH_NOT_FOUND}};
    for (const auto& c : bad) {
        EXPECT_FALSE(SetCurrentDirectoryA(c.path.c_str())) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

std::set<std::string> FindAll(const std::string& pattern, DWORD* error) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do
        names.insert(found.cFileName);
    while (FindNextFileA(h, &found));
    *error = GetLastError();
    FindClose(h);
    return names;
}

TEST(DiskFiles, FindMatchesWildcardsWithoutRegardToCase) {
    ScratchFolder dir("find");
    MakeFile(dir / "a.T~P", "12345");
    MakeFile(dir / "b.t~p");
    MakeFile(dir / "c.txt");
    MakeFile(dir / "noext");
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    using Names = std::set<std::string>;
    struct Case {
        std::string pattern;
        Names names;
        DWORD error;
    } cases[] = {
        {dir / "*.T~P", {"a.T~P", "b.t~p"}, ERROR_NO_MORE_FILES},
        {dir / "?.TXT", {"c.txt"}, ERROR_NO_MORE_FILES},
        {dir / "*", {".", "..", "a.T~P", "b.t~p", "c.txt", "noext", "sub"}, ERROR_NO_MORE_FILES},
        {dir / "*.*", {".", "..", "a.T~P", "b.t~p", "c.txt", "noext", "sub"}, ERROR_NO_MORE_FILES},
        {dir / "SUB", {"sub"}, ERROR_NO_MORE_FILES},
        {dir / "*.zz", {}, ERROR_FILE_NOT_FOUND},
        {dir / "c.txt?", {}, ERROR_FILE_NOT_FOUND},
        {dir / "sub\\", {}, ERROR_FILE_NOT_FOUND},
        {dir / "nodir\\*", {}, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(FindAll(c.pattern, &error), c.names) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }

    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir / "a.t~p").c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(FindClose(h));
    h = FindFirstFileA((dir / "sub").c_str(), &found);
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(h);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

TEST(DiskFiles, FoldersAndDeletionAnswerWithWindowsErrors) {
    ScratchFolder dir("folders");
    MakeFile(dir / "f.txt");
    ASSERT_TRUE(CreateDirectoryA((dir / "full").c_str(), nullptr));
    MakeFile(dir / "full\\x");
    const auto create = [&](const char* name) { return CreateDirectoryA((dir / name).c_str(), nullptr); };
    const auto remove = [&](const char* name) { return RemoveDirectoryA((dir / name).c_str()); };
    const auto erase = [&](const char* name) { return DeleteFileA((dir / name).c_str()); };
    struct Case {
        const char* what;
        std::function<BOOL()> call;
        DWORD error;
    } cases[] = {
        {"create existing folder", [&] { return create("full"); }, ERROR_ALREADY_EXISTS},
        {"create over a file", [&] { return create("f.txt"); }, ERROR_ALREADY_EXISTS},
        {"create below a missing folder", [&] { return create("a\\b"); }, ERROR_PATH_NOT_FOUND},
        {"remove a full folder", [&] { return remove("full"); }, ERROR_DIR_NOT_EMPTY},
        {"remove a file as a folder", [&] { return remove("f.txt"); }, ERROR_DIRECTORY},
        {"remove a missing folder", [&] { return remove("nope"); }, ERROR_FILE_NOT_FOUND},
        {"delete a folder as a file", [&] { return erase("full"); }, ERROR_ACCESS_DENIED},
        {"delete a missing file", [&] { return erase("nope"); }, ERROR_FILE_NOT_FOUND},
        {"delete below a missing folder", [&] { return erase("a\\b"); }, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(GetFileAttributesA((dir / "f.txt").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA((dir / "full\\").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA((dir / "nope").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA((dir / "nodir\\nope").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(DeleteFileA((dir / "full\\x").c_str()));
    EXPECT_TRUE(RemoveDirectoryA((dir / "full").c_str()));
}

}  // namespace

// GetFullPathNameA works on the text alone; "@" stands for the current
// directory (a scratch folder), "#" for its drive.
TEST(DiskFiles, FullPathNamesFoldAsWindowsFoldsThem) {
    ScratchFolder dir("full-path");
    ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
    const std::string cwd = dir.path();
    const std::string drive = cwd.substr(0, 2);
    const char other = drive[0] == 'Q' ? 'R' : 'Q';
    struct Case {
        std::string given, full, filePart;
    } cases[] = {
        {"C:\\.", "C:\\", ""},
        {"C:\\..", "C:\\", ""},
        {"C:\\a\\..", "C:\\", ""},
        {"C:\\\\", "C:\\", ""},
        {"C:\\..\\..\\x", "C:\\x", "x"},
        {"C:/x/./y", "C:\\x\\y", "y"},
        {"C:\\a\\\\b\\", "C:\\a\\b\\", ""},
        {"C:\\a\\b\\..", "C:\\a", "a"},
        {"C:\\a\\b\\..\\", "C:\\a\\", ""},
        {"C:\\a.\\b", "C:\\a\\b", "b"},
        {"C:\\a..\\b", "C:\\a.\\b", "b"},
        {"C:\\a\\b. .", "C:\\a\\b", "b"},
        {"C:\\a\\...", "C:\\a\\", ""},
        {"\\\\srv\\share", "\\\\srv\\share", "share"},
        {"\\\\srv\\share\\a\\..\\..\\..", "\\\\srv\\share\\", ""},
        {"//srv/share/x", "\\\\srv\\share\\x", "x"},
        {"sub\\x", cwd + "\\sub\\x", "x"},
        {"..\\nm-full-path\\y", cwd + "\\y", "y"},
        {"\\top", drive + "\\top", "top"},
        {drive, cwd + "\\", ""},
        {std::string(1, other) + ":rel", std::string(1, other) + ":\\rel", "rel"},
        {std::string(1, other) + ":", std::string(1, other) + ":\\", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        char buffer[MAX_PATH] = {};
        char* filePart = nullptr;
        const DWORD n = GetFullPathNameA(c.given.c_str(), MAX_PATH, buffer, &filePart);
        EXPECT_EQ(buffer, c.full);
        EXPECT_EQ(n, c.full.size());
        EXPECT_EQ(filePart != nullptr ? std::string(filePart) : std::string(), c.filePart);
    }
    // Too small a buffer: the size needed, terminating zero included.
    char small[4] = {};
    EXPECT_EQ(GetFullPathNameA("C:\\abc\\def", sizeof small, small, nullptr), 11u);
}

// A rename refuses an existing name unless told to replace it, and then
// takes the replaced file's place whole.
TEST(DiskFiles, RenamesReplaceOnlyWhenAsked) {
    ScratchFolder dir("rename");
    const std::string a = dir / "a.txt", b = dir / "b.txt";
    MakeFile(a, "new");
    MakeFile(b, "old");
    EXPECT_FALSE(MoveFileA(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    EXPECT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadAll(b), "new");
    EXPECT_EQ(GetFileAttributesA(a.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileA((dir / "missing").c_str(), a.c_str()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

// A file that some handle holds open is not replaced, even when the handle
// shares deletion; once it is closed the rename goes through.
TEST(DiskFiles, AnOpenFileIsNeverReplaced) {
    ScratchFolder dir("rename-held");
    const std::string a = dir / "a.txt", b = dir / "b.txt";
    for (DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE},
                        DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
        SCOPED_TRACE(testing::Message() << "share " << share);
        MakeFile(a, "new");
        MakeFile(b, "old");
        HANDLE held = CreateFileA(b.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
        CloseHandle(held);
        EXPECT_EQ(ReadAll(b), "old");
        EXPECT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(ReadAll(b), "new");
    }
}

// What a handle tells of its file: one name for a new file, its attributes,
// no reparse tag; and attributes set through it (0 leaves them alone).  The
// two calls of Windows Vista and later are looked up as the library looks
// them up.
TEST(DiskFiles, AHandleTellsAndSetsItsFilesAttributes) {
    using HandleInfoCall = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    HMODULE kernel = LoadLibraryA("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    const auto get = reinterpret_cast<HandleInfoCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetFileInformationByHandleEx")));
    const auto set = reinterpret_cast<HandleInfoCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetFileInformationByHandle")));
    ASSERT_TRUE(get != nullptr && set != nullptr);
    ScratchFolder dir("handle-info");
    const std::string path = dir / "f.txt";
    MakeFile(path, "abc");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    EXPECT_EQ(info.nFileSizeLow, 3u);
    EXPECT_EQ(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
    struct {
        DWORD attributes, tag;
    } tagInfo{};
    ASSERT_TRUE(get(h, 9 /* FileAttributeTagInfo */, &tagInfo, sizeof tagInfo));
    EXPECT_EQ(tagInfo.attributes, info.dwFileAttributes);
    EXPECT_EQ(tagInfo.tag, 0u);

    struct {
        LARGE_INTEGER times[4];
        DWORD attributes;
    } basic{};
    for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{0}, DWORD{FILE_ATTRIBUTE_NORMAL}}) {
        SCOPED_TRACE(testing::Message() << "attributes 0x" << std::hex << attributes);
        basic.attributes = attributes;
        ASSERT_TRUE(set(h, 0 /* FileBasicInfo */, &basic, sizeof basic));
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY,
                  attributes == FILE_ATTRIBUTE_NORMAL ? 0u : DWORD{FILE_ATTRIBUTE_READONLY});
    }
    CloseHandle(h);
    FreeLibrary(kernel);
}

// A name in the code page comes back from the search byte for byte.
TEST(DiskFiles, NamesInTheCodePageRoundTrip) {
    ScratchFolder dir("code-page");
    const std::string name = "\xDF\xE9\x80.txt";  // sharp s, e acute, euro sign
    MakeFile(dir / name, "x");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir / "*.txt").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_EQ(std::string(found.cFileName), name);
    EXPECT_EQ(ReadAll(dir / name), "x");
}
