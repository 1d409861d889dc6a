// ntdll's file calls where only the simulated machine can set the scene:
// the system's version, links made on the host, and the hook that lets a
// test change a tree at the moment a call starts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "hostwin/machine.h"
#include "platform/win32.h"
#include "support/file_helpers.h"
#include "support/nt_calls.h"

namespace {

using namespace nmtest::nt;
using hostwin::Machine;
using nmtest::WriteFileText;

constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | kSynchronize;
constexpr const char* kCalls[] = {"NtCreateFile", "NtQueryDirectoryFile", "NtQueryInformationFile",
                                  "NtSetInformationFile", "NtQueryObject"};

class NtFilesHost : public testing::Test, protected NtCalls {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::DriveSetup d;
        d.letter = 'D';
        hostFolder_ = Machine::AddDrive(d);
        ASSERT_TRUE(CreateDirectoryA("D:\\clean", nullptr));
        ASSERT_TRUE(CreateDirectoryA("D:\\outside", nullptr));
        ASSERT_TRUE(WriteFileText("D:\\outside\\a.txt", "keep"));
        ASSERT_EQ(OpenFolder("D:\\clean", &clean_), kSuccess);
    }
    void TearDown() override {
        CloseHandle(clean_);
        Machine::Reset();
    }
    void Link(const std::string& name, const std::string& target) {
        ASSERT_EQ(::symlink((hostFolder_ + "/" + target).c_str(), (hostFolder_ + "/clean/" + name).c_str()), 0);
    }

    std::string hostFolder_;
    HANDLE clean_ = nullptr;
};

TEST_F(NtFilesHost, TheCallsExistOnTheNtFamilyOnly) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    ASSERT_NE(ntdll, nullptr);
    for (const char* name : kCalls) {
        SCOPED_TRACE(name);
        Machine::SetWindows9x();
        EXPECT_EQ(GetProcAddress(ntdll, name), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
        Machine::SetWindowsNT(10, 0, 19045);
        EXPECT_NE(GetProcAddress(ntdll, name), nullptr);
    }
}

// Two drives of one serial number (a drive's folder copied with its serial)
// are two volumes by their handles' names; a link from one to the same path
// on the other names the other, and a drive inside another's folder names
// its own files.
TEST_F(NtFilesHost, HandlesOfTwoDrivesOfOneSerialNumberNameTwoVolumes) {
    Machine::DriveSetup d;
    d.letter = 'D';
    d.serial = 0x4B1D5E7A;
    const std::string dHost = Machine::AddDrive(d);
    d.letter = 'E';
    const std::string eHost = Machine::AddDrive(d);
    ASSERT_TRUE(CreateDirectoryA("D:\\t", nullptr));
    ASSERT_TRUE(CreateDirectoryA("E:\\t", nullptr));
    ASSERT_TRUE(WriteFileText("E:\\t\\f.txt", "target"));
    ASSERT_EQ(::symlink((eHost + "/t/f.txt").c_str(), (dHost + "/t/f.txt").c_str()), 0);
    HANDLE folder, link;
    ASSERT_EQ(OpenFolder("D:\\t", &folder), kSuccess);
    ASSERT_EQ(Open(folder, u"f.txt", &link, FILE_READ_ATTRIBUTES, kShareAll, kSynchronousIo), kSuccess);
    std::u16string ofFolder, ofLink;
    EXPECT_EQ(ObjectName(folder, &ofFolder), kSuccess);
    EXPECT_EQ(ObjectName(link, &ofLink), kSuccess);
    EXPECT_EQ(ofFolder, u"\\??\\D:\\t");
    EXPECT_EQ(ofLink, u"\\??\\E:\\t\\f.txt") << "what the link led to, on its own drive";
    CloseHandle(link);
    CloseHandle(folder);

    // A drive whose folder lies inside another's names what is below it,
    // whichever drive it was opened through.
    d.letter = 'F';
    d.hostFolder = dHost + "/t";
    Machine::AddDrive(d);
    HANDLE file;
    ASSERT_EQ(Open(nullptr, u"\\??\\D:\\t\\f.txt", &file, FILE_READ_ATTRIBUTES, kShareAll, kSynchronousIo | kOpenReparsePoint),
              kSuccess);
    EXPECT_EQ(ObjectName(file, &ofLink), kSuccess);
    EXPECT_EQ(ofLink, u"\\??\\F:\\f.txt");
    CloseHandle(file);

    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(ObjectName(mutex, &ofLink), kNotImplemented) << "only files' names are told here";
    CloseHandle(mutex);
}

TEST_F(NtFilesHost, NewerSystemsTakeNoReparseOpensAndPosixDeletes) {
    struct Case {
        DWORD major, minor, build;
        LONG dontReparse;
        LONG posixDelete;
    } cases[] = {
        {5, 1, 2600, kInvalidParameter, kInvalidInfoClass},
        {10, 0, 10240, kInvalidParameter, kInvalidInfoClass},
        {10, 0, 14393, kSuccess, kInvalidInfoClass},
        {10, 0, 17763, kSuccess, kSuccess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << "." << c.build);
        Machine::SetWindowsNT(c.major, c.minor, c.build);
        ASSERT_TRUE(WriteFileText("D:\\clean\\f.txt", "x"));
        HANDLE h;
        EXPECT_EQ(Open(clean_, u"f.txt", &h, kDeleteAccess, kShareAll, kOpenReparsePoint, kDontReparse), c.dontReparse);
        if (c.dontReparse == kSuccess)
            CloseHandle(h);
        ASSERT_EQ(Open(clean_, u"f.txt", &h, kDeleteAccess), kSuccess);
        const ULONG flags = 0x1 | 0x2;
        EXPECT_EQ(Set(h, &flags, sizeof flags, 64), c.posixDelete);
        CloseHandle(h);
        EXPECT_EQ(NameListed("D:\\clean\\f.txt"), c.posixDelete != kSuccess);
        DeleteFileA("D:\\clean\\f.txt");
    }
}

TEST_F(NtFilesHost, APosixDeleteGoesWhenItsOwnHandleClosesAnOrdinaryOneWithTheLast) {
    Machine::SetWindowsNT(10, 0, 17763);
    for (ULONG flags : {0x1u, 0x1u | 0x2u}) {
        SCOPED_TRACE(testing::Message() << "flags " << flags);
        ASSERT_TRUE(WriteFileText("D:\\clean\\held.txt", "x"));
        HANDLE other = CreateFileA("D:\\clean\\held.txt", GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        HANDLE h;
        ASSERT_EQ(Open(clean_, u"held.txt", &h, kDeleteAccess), kSuccess);
        EXPECT_EQ(Set(h, &flags, sizeof flags, 64), kSuccess);
        CloseHandle(h);
        const bool posix = (flags & 0x2) != 0;
        EXPECT_EQ(NameListed("D:\\clean\\held.txt"), !posix);
        CloseHandle(other);
        EXPECT_FALSE(NameListed("D:\\clean\\held.txt"));
    }
    // A read-only file goes when asked to pass over the attribute.
    ASSERT_TRUE(nmtest::MakeFile("D:\\clean\\ro.txt", FILE_ATTRIBUTE_READONLY));
    HANDLE h;
    ASSERT_EQ(Open(clean_, u"ro.txt", &h, kDeleteAccess), kSuccess);
    const ULONG plain = 0x1, ignoring = 0x1 | 0x10;
    EXPECT_EQ(Set(h, &plain, sizeof plain, 64), kCannotDelete);
    EXPECT_EQ(Set(h, &ignoring, sizeof ignoring, 64), kSuccess);
    CloseHandle(h);
    EXPECT_FALSE(NameListed("D:\\clean\\ro.txt"));
}

TEST_F(NtFilesHost, ALinkOpensAsItselfAndGoesAloneWhileWhatItLeadsToStays) {
    Machine::SetWindowsNT(10, 0, 19045);
    Link("to-outside", "outside");
    HANDLE link;
    ASSERT_EQ(Open(clean_, u"to-outside", &link, kDeleteAccess | FILE_LIST_DIRECTORY), kSuccess);
    ULONG tag[2] = {};
    EXPECT_EQ(Query(link, tag, sizeof tag, 35), kSuccess);
    EXPECT_NE(tag[0] & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_NE(tag[0] & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(tag[1], IO_REPARSE_TAG_SYMLINK);
    HANDLE inside;
    EXPECT_EQ(Open(link, u"a.txt", &inside), kNameNotFound) << "a link's own folder holds nothing";
    EXPECT_EQ(List(link).size(), 2u) << "only . and ..";
    const std::vector<Listed> listed = List(clean_);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].eaSize, IO_REPARSE_TAG_SYMLINK);
    EXPECT_EQ(MarkForDelete(link), kSuccess);
    CloseHandle(link);
    EXPECT_FALSE(NameListed("D:\\clean\\to-outside"));
    EXPECT_EQ(nmtest::ReadFileText("D:\\outside\\a.txt"), "keep");

    // Asked for no reparse point on the way, a link there is refused.
    Link("again", "outside");
    struct Case {
        HANDLE root;
        std::u16string name;
        ULONG options;
    } cases[] = {
        {clean_, u"again", 0},
        {clean_, u"again\\a.txt", kOpenReparsePoint},
        {nullptr, u"\\??\\D:\\clean\\again\\a.txt", kOpenReparsePoint},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        HANDLE h;
        EXPECT_EQ(Open(c.root, c.name, &h, FILE_READ_ATTRIBUTES, kShareAll, c.options, kDontReparse),
                  kReparsePointEncountered);
        ASSERT_EQ(Open(c.root, c.name, &h, FILE_READ_ATTRIBUTES, kShareAll, c.options), kSuccess);
        CloseHandle(h);
    }
}

TEST_F(NtFilesHost, TheHookHearsEachCallFirstAndMaySwapTheEntry) {
    ASSERT_TRUE(CreateDirectoryA("D:\\clean\\sub", nullptr));
    std::vector<std::pair<std::string, std::string>> heard;
    Machine::OnFileCall([&](const char* api, const std::string& path) {
        heard.emplace_back(api, path);
        // Another process's swap, just before the lookup: the folder becomes a link.
        if (std::string(api) == "NtCreateFile" && path == "D:\\clean\\sub") {
            ASSERT_TRUE(MoveFileA("D:\\clean\\sub", "D:\\clean\\moved"));
            Link("sub", "outside");
        }
    });
    HANDLE sub;
    ASSERT_EQ(Open(clean_, u"sub", &sub, kDeleteAccess | FILE_LIST_DIRECTORY), kSuccess);
    ULONG tag[2] = {};
    EXPECT_EQ(Query(sub, tag, sizeof tag, 35), kSuccess);
    EXPECT_EQ(tag[1], IO_REPARSE_TAG_SYMLINK) << "the open found the link made by the hook";
    StandardInformation standard{};
    EXPECT_EQ(Query(sub, &standard, sizeof standard, 5), kSuccess);
    EXPECT_EQ(MarkForDelete(sub), kSuccess);
    List(clean_);
    HANDLE root, absolute;
    ASSERT_EQ(Open(nullptr, u"\\??\\D:\\", &root), kSuccess);
    ASSERT_EQ(Open(root, u"outside\\a.txt", &absolute), kSuccess);
    CloseHandle(absolute);
    CloseHandle(root);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"NtCreateFile", "D:\\clean\\sub"},          {"NtQueryInformationFile", "D:\\clean\\sub"},
        {"NtQueryInformationFile", "D:\\clean\\sub"}, {"NtSetInformationFile", "D:\\clean\\sub"},
        {"NtQueryDirectoryFile", "D:\\clean"},       {"NtQueryDirectoryFile", "D:\\clean"},
        {"NtCreateFile", "D:\\"},                   {"NtCreateFile", "D:\\outside\\a.txt"},
    };
    EXPECT_EQ(heard, expected);
    CloseHandle(sub);
    EXPECT_EQ(nmtest::ReadFileText("D:\\outside\\a.txt"), "keep");
    CloseHandle(clean_);
    Machine::Reset();
    heard.clear();
    Machine::DriveSetup d;
    d.letter = 'D';
    Machine::AddDrive(d);
    HANDLE h;
    Open(nullptr, u"\\??\\D:\\", &h);
    EXPECT_TRUE(heard.empty()) << "Reset ends the hook";
    clean_ = h;
}

}  // namespace
