// The processor guard as the loader meets it, through two DLLs that enter
// by it as NMShell402.dll does (guard_test_dll.cpp): one told it runs on a
// Pentium MMX, below the floor, and one on a Pentium Pro, at it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "platform/win32.h"

namespace {

std::string Recorded(const char* name) {
    char value[4096] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    return value;
}

void ForgetRecords() {
    for (const char* name : {"NM_GUARD_ASKED", "NM_GUARD_NOTICES", "NM_GUARD_MODULE"})
        SetEnvironmentVariableA(name, nullptr);
}

// The notices DllMain received, as reason digits: process notices, and
// thread notices from `thread` alone (the system's own threads may come and
// go meanwhile).
std::string NoticesSeenFor(DWORD thread) {
    std::istringstream words(Recorded("NM_GUARD_NOTICES"));
    std::string word, seen;
    unsigned long reason, id;
    while (words >> word)
        if (std::sscanf(word.c_str(), "%lu:%lu", &reason, &id) == 2 &&
            (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH || id == thread))
            seen += std::to_string(reason);
    return seen;
}

TEST(ProcessorGuardTest, BelowTheFloorTheDllRefusesToLoadAndTheRuntimeSeesNothing) {
    ForgetRecords();
    SetLastError(0);
    HMODULE dll = LoadLibraryA("nm_guard_below.dll");
    const DWORD error = GetLastError();
    EXPECT_EQ(dll, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    // The guard judged the attach and the detach that the loader sends after
    // a refused attach, and handed neither to the runtime, whose code the
    // processor could not run.
    EXPECT_EQ(Recorded("NM_GUARD_ASKED"), "??");
    EXPECT_EQ(Recorded("NM_GUARD_NOTICES"), "");
    EXPECT_EQ(GetModuleHandleA("nm_guard_below.dll"), nullptr);
    if (dll != nullptr)
        FreeLibrary(dll);
}

DWORD WINAPI EndAtOnce(LPVOID) { return 0; }

TEST(ProcessorGuardTest, AtTheFloorEveryNoticeReachesTheRuntimeWithItsModule) {
    ForgetRecords();
    HMODULE dll = LoadLibraryA("nm_guard_at_floor.dll");
    ASSERT_NE(dll, nullptr) << "error " << GetLastError();
    char module[32];
    std::snprintf(module, sizeof module, "%p", static_cast<void*>(dll));
    EXPECT_EQ(Recorded("NM_GUARD_MODULE"), module);

    DWORD thread_id = 0;
    HANDLE thread = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, &thread_id);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_TRUE(FreeLibrary(dll));
    EXPECT_EQ(NoticesSeenFor(thread_id), "1230");  // attach, thread attach and detach, detach
    // Asked at process attach and at process detach, not for the thread.
    EXPECT_EQ(Recorded("NM_GUARD_ASKED"), "??");
}

}  // namespace
