// A DLL that enters through the processor guard as NMShell402.dll does, but
// whose guard is told it runs on the processor NM_GUARD_PROCESSOR names
// (tests/support/processors.h) instead of asking this one.  What reached
// the runtime is written to the process's environment, which outlives the
// DLL: NM_GUARD_ASKED gains a '?' each time the guard asks, and
// NM_GUARD_NOTICES a "REASON:THREAD" word for each notice that DllMain, the
// runtime's last step, receives; NM_GUARD_MODULE is the module it was given.
#include "platform/win32.h"

#include <cstdio>
#include <string>

#include "shellext/processor_floor.h"
#include "support/processors.h"

namespace {

void Append(const char* name, const std::string& text) {
    char value[4096] = "";
    GetEnvironmentVariableA(name, value, sizeof value);
    SetEnvironmentVariableA(name, (value + text).c_str());
}

}  // namespace

extern "C" bool ThisProcessorMeetsFloor() {
    Append("NM_GUARD_ASKED", "?");
    return MeetsProcessorFloor(nmtest::processors::NM_GUARD_PROCESSOR);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    char word[32];
    std::snprintf(word, sizeof word, "%lu:%lu ", reason, GetCurrentThreadId());
    Append("NM_GUARD_NOTICES", word);
    if (reason == DLL_PROCESS_ATTACH) {
        std::snprintf(word, sizeof word, "%p", static_cast<void*>(module));
        SetEnvironmentVariableA("NM_GUARD_MODULE", word);
    }
    return TRUE;
}
