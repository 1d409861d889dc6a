// The library's lock: the system's critical section, which every Windows
// version has (InitializeCriticalSection, EnterCriticalSection and their
// kin; not TryEnterCriticalSection or the spin-count variant, which Windows
// 95 lacks).  The C++ runtime's mutexes would bring a threading runtime into
// the DLL, and with it imports that older systems refuse to load.
#pragma once

#include "platform/win32.h"

// Recursive, as a critical section is: the thread that holds it may enter it
// again.  Meant for static storage: it is constant-initialized and made on
// first use, so a global object's constructor in any file may already take
// it, whatever the order in which the globals are built.
class CriticalSection {
public:
    constexpr CriticalSection() noexcept {}
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    LONG state_ = 0;  // 0 not made, 1 being made, 2 ready
    CRITICAL_SECTION section_{};
};

// Holds a CriticalSection for its own lifetime.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~CriticalSectionLock() { section_.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};
