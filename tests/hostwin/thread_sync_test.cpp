// Threads, semaphores and critical sections through the Win32 API only: this
// file runs on hostwin and, cross-built, under Wine.
#include <gtest/gtest.h>

#include "platform/critical_section.h"
#include "platform/win32.h"

namespace {

struct ThreadProbe {
    HANDLE go;
    DWORD seenId;
};

// A timed wait that a release on another thread must end.
DWORD WINAPI ReportIdWhenTold(LPVOID parameter) {
    auto* probe = static_cast<ThreadProbe*>(parameter);
    if (WaitForSingleObject(probe->go, 5000) != WAIT_OBJECT_0)
        return 1;
    probe->seenId = GetCurrentThreadId();
    return 42;
}

DWORD WINAPI FreeModuleAndExit(LPVOID module) { FreeLibraryAndExitThread(static_cast<HMODULE>(module), 7); }

TEST(Threads, HandleIsSignalledWhenTheThreadEndsAndCarriesItsExitCode) {
    ThreadProbe probe{CreateSemaphoreA(nullptr, 0, 1, nullptr), 0};
    ASSERT_NE(probe.go, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReportIdWhenTold, &probe, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());

    EXPECT_EQ(WaitForSingleObject(thread, 20), static_cast<DWORD>(WAIT_TIMEOUT)) << "still waiting for its go";
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    ReleaseSemaphore(probe.go, 1, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(probe.seenId, id) << "the id CreateThread reported is the thread's own";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "an ended thread stays signalled";
    EXPECT_EQ(WaitForSingleObject(probe.go, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the waiter took the count";
    CloseHandle(thread);
    CloseHandle(probe.go);
}

// The program loaded once more by its own path is the program itself; the
// thread gives that reference back as it ends, and the program stays.
TEST(Threads, FreeLibraryAndExitThreadEndsTheThreadWithItsCode) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    HMODULE program = LoadLibraryA(path);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program, GetModuleHandleA(nullptr));
    HANDLE thread = CreateThread(nullptr, 0, FreeModuleAndExit, program, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(GetModuleHandleA(nullptr), program);
    CloseHandle(thread);
}

TEST(Semaphores, CreationRefusesCountsOutsideZeroToMaximum) {
    struct Case {
        LONG initial, maximum;
        bool created;
    };
    constexpr Case kCases[] = {{1, 1, true}, {0, 1, true}, {3, 5, true},  {2, 1, false},
                               {-1, 1, false}, {0, 0, false}, {0, -1, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "initial=" << c.initial << " maximum=" << c.maximum);
        HANDLE s = CreateSemaphoreA(nullptr, c.initial, c.maximum, nullptr);
        EXPECT_EQ(s != nullptr, c.created);
        if (s)
            CloseHandle(s);
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(Semaphores, CountGoesDownByWaitsAndUpByReleasesButNeverPastTheMaximum) {
    HANDLE s = CreateSemaphoreA(nullptr, 1, 2, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(WaitForSingleObject(s, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    const DWORD before = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(s, 60), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_GE(GetTickCount() - before, 40u) << "a timed wait lasts about its time";

    LONG previous = -1;
    ASSERT_TRUE(ReleaseSemaphore(s, 2, &previous));
    EXPECT_EQ(previous, 0);
    previous = -1;
    EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));

    // The refused releases changed nothing: two waits pass, the third does not.
    EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(s);
}

// --- mutexes

constexpr char kMutexName[] = "NMShell402 test mutex";

struct MutexVisitor {
    HANDLE mutex;
    DWORD wait;            // how long it waits
    DWORD waited;          // what the wait answered
    BOOL releasedOthers;   // ReleaseMutex before its wait
    DWORD releaseError;
    bool keep;             // end still owning it
};

DWORD WINAPI WaitOnMutex(LPVOID parameter) {
    auto* visitor = static_cast<MutexVisitor*>(parameter);
    visitor->releasedOthers = ReleaseMutex(visitor->mutex);
    visitor->releaseError = GetLastError();
    visitor->waited = WaitForSingleObject(visitor->mutex, visitor->wait);
    if (!visitor->keep && visitor->waited != WAIT_TIMEOUT)
        ReleaseMutex(visitor->mutex);
    return 0;
}

DWORD Visit(MutexVisitor* visitor) {
    HANDLE thread = CreateThread(nullptr, 0, WaitOnMutex, visitor, 0, nullptr);
    if (thread == nullptr)
        return WAIT_FAILED;
    const DWORD ended = WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
    return ended;
}

TEST(Mutexes, TheOwnerEntersAgainOthersWaitForItsLastReleaseAndOnlyItMayRelease) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "the owner again";

    MutexVisitor busy{mutex, 10000, 0, TRUE, 0, false};
    HANDLE thread = CreateThread(nullptr, 0, WaitOnMutex, &busy, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(thread, 100), static_cast<DWORD>(WAIT_TIMEOUT)) << "still owned once";
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_EQ(busy.waited, static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_FALSE(busy.releasedOthers) << "a thread that does not own it cannot release it";
    EXPECT_EQ(busy.releaseError, static_cast<DWORD>(ERROR_NOT_OWNER));

    EXPECT_FALSE(ReleaseMutex(mutex)) << "released by its visitor: nobody owns it";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    CloseHandle(mutex);
}

// A thread that ends owning the mutex leaves it abandoned: the next waiter
// gets it, told so once, and owns it as any owner does.
TEST(Mutexes, AnOwnerThatEndsLeavesItAbandonedToTheNextWaiter) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    MutexVisitor leaver{mutex, 5000, 0, TRUE, 0, true};
    ASSERT_EQ(Visit(&leaver), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(leaver.waited, static_cast<DWORD>(WAIT_OBJECT_0));

    EXPECT_EQ(WaitForSingleObject(mutex, 5000), static_cast<DWORD>(WAIT_ABANDONED));
    MutexVisitor next{mutex, 50, 0, TRUE, 0, false};
    ASSERT_EQ(Visit(&next), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(next.waited, static_cast<DWORD>(WAIT_TIMEOUT)) << "the abandoned mutex is ours now";
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "abandoned is said only once";
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

// A name in use opens the mutex it names, owner and all, and says so.
TEST(Mutexes, ANameInUseOpensTheSameMutex) {
    SetLastError(ERROR_INVALID_DATA);
    HANDLE first = CreateMutexA(nullptr, TRUE, kMutexName);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateMutexA(nullptr, TRUE, kMutexName);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(second, first);

    MutexVisitor other{second, 50, 0, TRUE, 0, false};
    ASSERT_EQ(Visit(&other), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(other.waited, static_cast<DWORD>(WAIT_TIMEOUT)) << "owned through the first handle";
    ASSERT_TRUE(ReleaseMutex(second)) << "one owner, whichever handle names it";
    EXPECT_FALSE(ReleaseMutex(first)) << "the second open did not take it again";
    other.wait = 5000;
    ASSERT_EQ(Visit(&other), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(other.waited, static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(second);
    CloseHandle(first);

    HANDLE fresh = CreateMutexA(nullptr, FALSE, kMutexName);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "gone with its last handle";
    CloseHandle(fresh);
}

// --- critical sections

struct Contender {
    CRITICAL_SECTION* section;
    HANDLE entered;  // released once the thread holds the section
};

DWORD WINAPI EnterAndLeave(LPVOID parameter) {
    auto* contender = static_cast<Contender*>(parameter);
    EnterCriticalSection(contender->section);
    ReleaseSemaphore(contender->entered, 1, nullptr);
    LeaveCriticalSection(contender->section);
    return 0;
}

TEST(CriticalSections, TheOwnerEntersAgainAndOthersWaitForItsLastLeave) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    Contender contender{&section, CreateSemaphoreA(nullptr, 0, 1, nullptr)};
    ASSERT_NE(contender.entered, nullptr);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // the owner again: no wait
    HANDLE thread = CreateThread(nullptr, 0, EnterAndLeave, &contender, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(contender.entered, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "entered twice";
    LeaveCriticalSection(&section);
    EXPECT_EQ(WaitForSingleObject(contender.entered, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "still entered once";
    LeaveCriticalSection(&section);
    EXPECT_EQ(WaitForSingleObject(contender.entered, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    CloseHandle(contender.entered);
    DeleteCriticalSection(&section);
}

// Threads that start at one signal and meet a CriticalSection that nobody has
// entered yet: it is made once, and every increment under it counts.
struct Crowd {
    CriticalSection* lock;
    HANDLE start;
    long* counter;
};

constexpr int kCrowd = 4;
constexpr long kIncrements = 20000;

DWORD WINAPI CountUnderTheLock(LPVOID parameter) {
    auto* crowd = static_cast<Crowd*>(parameter);
    WaitForSingleObject(crowd->start, INFINITE);
    for (long i = 0; i < kIncrements; ++i) {
        CriticalSectionLock guard(*crowd->lock);
        const long seen = *crowd->counter;
        if (i % 1000 == 0)
            Sleep(1);  // a holder that lets others run finds them waiting
        *crowd->counter = seen + 1;
    }
    return 0;
}

TEST(CriticalSections, OurLockIsMadeOnceByItsFirstUsersAndExcludesTheRest) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        CriticalSection lock;  // not yet made: the crowd's first Enters make it
        long counter = 0;
        Crowd crowd{&lock, CreateSemaphoreA(nullptr, 0, kCrowd, nullptr), &counter};
        ASSERT_NE(crowd.start, nullptr);
        HANDLE threads[kCrowd];
        for (HANDLE& thread : threads) {
            thread = CreateThread(nullptr, 0, CountUnderTheLock, &crowd, 0, nullptr);
            ASSERT_NE(thread, nullptr);
        }
        ReleaseSemaphore(crowd.start, kCrowd, nullptr);
        for (HANDLE thread : threads) {
            EXPECT_EQ(WaitForSingleObject(thread, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
            CloseHandle(thread);
        }
        CloseHandle(crowd.start);
        EXPECT_EQ(counter, kCrowd * kIncrements);
    }
}

}  // namespace
