#include "bench_machine.h"

#include "platform/win32.h"

namespace nmbench {

void PrepareMachine() {}  // the prefix's drives, set up by scripts/bench

const char kNativeRemoval[] = "rd /s /q";
// Ours opens, lists and deletes everything by handle: it may take a quarter
// longer than the system's own.
const double kRemovalGoal = 0.8;

bool RemoveTreeNatively(const std::string& folder) {
    std::string commandLine = "cmd /c rd /s /q \"" + folder + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code == 0;
}

}  // namespace nmbench
