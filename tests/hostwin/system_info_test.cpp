// Drive strings, the error mode, system error texts and the process lists
// (tool-help snapshot and process status), through the Win32 calls only:
// runs on hostwin and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/scratch_folder.h"

namespace {

TEST(SystemInfo, DriveStringsListEveryLogicalDriveInOrder) {
    nmtest::ScratchFolder dir("drive-strings");  // at least the scratch folder's drive
    char roots[200];
    std::memset(roots, 'x', sizeof roots);
    const DWORD length = GetLogicalDriveStringsA(sizeof roots, roots);
    std::string expected;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i))
            expected += std::string(1, static_cast<char>('A' + i)) + ":\\" + '\0';
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(roots, length), expected);
    EXPECT_EQ(roots[length], '\0');
    EXPECT_EQ(GetLogicalDriveStringsA(3, roots), length + 1) << "too small: the size needed";
    EXPECT_EQ(GetLogicalDriveStringsA(0, nullptr), length + 1);
}

TEST(SystemInfo, SetErrorModeAnswersThePreviousMode) {
    const UINT original = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(SetErrorMode(0), UINT{SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX});
    EXPECT_EQ(SetErrorMode(original), 0u);
}

// The texts the library's boxes show.  The wording is the system's own
// (Windows and Wine word some differently, "Access is denied." and "Access
// denied."); what holds on both is its shape: one sentence and a line end.
TEST(SystemInfo, TheSystemHasATextForTheErrorsTheLibraryMeets) {
    for (DWORD code : {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                       ERROR_INVALID_HANDLE, ERROR_WRITE_PROTECT, ERROR_NOT_READY, ERROR_SHARING_VIOLATION,
                       ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER, ERROR_DIR_NOT_EMPTY}) {
        SCOPED_TRACE(testing::Message() << "error " << code);
        char* text = nullptr;
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                            LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        ASSERT_NE(text, nullptr);
        ASSERT_GT(length, 4u);
        const std::string s = text;
        EXPECT_EQ(s.size(), length);
        EXPECT_EQ(s.substr(s.size() - 3), ".\r\n");
        EXPECT_EQ(s.find('\n'), s.size() - 1) << "one line";
        char copy[512];
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), copy, sizeof copy, nullptr),
                  length);
        EXPECT_EQ(copy, s) << "the same text into the caller's buffer";
        EXPECT_EQ(LocalFree(text), nullptr);
    }
    char* text = nullptr;
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x2000FFFF,
                             LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MR_MID_NOT_FOUND});
    char small[8] = "unset";
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                             0, small, 5, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << "a text longer than the buffer";
}

std::string OwnExeName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string text = path;
    return text.substr(text.find_last_of("\\/") + 1);
}

std::vector<std::pair<DWORD, std::string>> Snapshot() {
    std::vector<std::pair<DWORD, std::string>> processes;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        processes.emplace_back(entry.th32ProcessID, entry.szExeFile);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    CloseHandle(snapshot);
    return processes;
}

TEST(SystemInfo, TheSnapshotListsThisProcessByItsProgramName) {
    const auto processes = Snapshot();
    const DWORD self = GetCurrentProcessId();
    const auto it = std::find_if(processes.begin(), processes.end(), [&](const auto& p) { return p.first == self; });
    ASSERT_NE(it, processes.end());
    EXPECT_TRUE(_stricmp(it->second.c_str(), OwnExeName().c_str()) == 0) << it->second;

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry - 8;
    EXPECT_FALSE(Process32First(snapshot, &entry)) << "an entry smaller than the system's";
    CloseHandle(snapshot);
}

TEST(SystemInfo, TheProcessStatusCallsNameThisProcessToo) {
    HMODULE psapi = LoadLibraryA("PSAPI.DLL");
    ASSERT_NE(psapi, nullptr);
    using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
    using EnumModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    using BaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
    const auto enumProcesses =
        reinterpret_cast<EnumProcessesFn>(reinterpret_cast<void (*)()>(GetProcAddress(psapi, "EnumProcesses")));
    const auto enumModules =
        reinterpret_cast<EnumModulesFn>(reinterpret_cast<void (*)()>(GetProcAddress(psapi, "EnumProcessModules")));
    const auto baseName =
        reinterpret_cast<BaseNameFn>(reinterpret_cast<void (*)()>(GetProcAddress(psapi, "GetModuleBaseNameA")));
    ASSERT_TRUE(enumProcesses && enumModules && baseName);

    DWORD ids[1024] = {}, bytes = 0;
    ASSERT_TRUE(enumProcesses(ids, sizeof ids, &bytes));
    const DWORD self = GetCurrentProcessId();
    EXPECT_NE(std::find(ids, ids + bytes / sizeof(DWORD), self), ids + bytes / sizeof(DWORD));

    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, self);
    ASSERT_NE(process, nullptr);
    HMODULE program = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(enumModules(process, &program, sizeof program, &needed));
    EXPECT_GE(needed, DWORD{sizeof program});
    char name[256] = {};
    const DWORD length = baseName(process, program, name, 255);
    EXPECT_EQ(length, std::strlen(name));
    EXPECT_TRUE(_stricmp(name, OwnExeName().c_str()) == 0) << name;
    CloseHandle(process);

    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    FreeLibrary(psapi);
}

}  // namespace
