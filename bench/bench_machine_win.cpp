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

bool MakeDeepTree(const std::string& folder, int levels, int nameLength) {
    // The wide calls with the "\\?\" prefix: the narrow ones stop at 260 characters.
    std::wstring path = L"\\\\?\\" + std::wstring(folder.begin(), folder.end());
    for (int level = 0; level < levels; ++level) {
        std::wstring name = L"level" + std::to_wstring(level) + L"-";
        name.resize(static_cast<size_t>(nameLength), L'x');
        path += L"\\" + name;
        if (!CreateDirectoryW(path.c_str(), nullptr))
            return false;
        HANDLE file = CreateFileW((path + L"\\file.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        WriteFile(file, "contents", 8, &written, nullptr);
        CloseHandle(file);
    }
    return true;
}

}  // namespace nmbench
