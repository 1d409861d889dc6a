#include "platform/critical_section.h"

namespace {

constexpr LONG kNotMade = 0;
constexpr LONG kBeingMade = 1;
constexpr LONG kReady = 2;

}  // namespace

// A critical section left undeleted in an unloaded DLL stays linked into the
// system's list of them: the module's globals delete theirs as it unloads.
CriticalSection::~CriticalSection() {
    if (InterlockedCompareExchange(&state_, kNotMade, kReady) == kReady)
        DeleteCriticalSection(&section_);
}

void CriticalSection::Enter() {
    LONG state = InterlockedCompareExchange(&state_, kBeingMade, kNotMade);
    if (state == kNotMade) {
        InitializeCriticalSection(&section_);
        InterlockedExchange(&state_, kReady);
    } else {
        // Another thread is making it: a matter of microseconds, once.
        while (state != kReady) {
            Sleep(0);
            state = InterlockedCompareExchange(&state_, kReady, kReady);
        }
    }
    EnterCriticalSection(&section_);
}

void CriticalSection::Leave() { LeaveCriticalSection(&section_); }
