// Processes run as host child processes started with posix_spawn (safe in a
// program with threads).  One reaper thread per child waits for it, so that
// it never stays a zombie, and signals the process object; the object lives
// as long as a handle or the reaper needs it.
#include "processes.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "errors.h"
#include "faults.h"
#include "files_internal.h"
#include "machine_state.h"
#include "process_table.h"
#include "waitable.h"

extern char** environ;

namespace hostwin::detail {
namespace {

// How the parent hands the Windows command line to the child.
constexpr char kCommandLineVariable[] = "HOSTWIN_COMMAND_LINE";

class ProcessObject : public Waitable {
public:
    explicit ProcessObject(pid_t pid) : pid_(pid) {}

    pid_t Pid() const { return pid_; }
    DWORD ExitCode() {
        std::lock_guard lock(mutex_);
        return finished_ ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
    }
    bool Terminate(UINT code) {
        std::lock_guard lock(mutex_);
        if (finished_)
            return false;
        if (!terminated_) {
            terminated_ = true;
            terminateCode_ = code;
            ::kill(pid_, SIGKILL);
        }
        return true;
    }
    void Reaped(int status) {
        std::lock_guard lock(mutex_);
        finished_ = true;
        if (terminated_)
            exitCode_ = terminateCode_;
        else if (WIFEXITED(status))
            exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
        else
            exitCode_ = 128 + static_cast<DWORD>(WTERMSIG(status));  // as a shell reports a signal
        SignalLocked();
    }

protected:
    bool TryAcquireLocked() override { return finished_; }

private:
    const pid_t pid_;
    bool finished_ = false;
    bool terminated_ = false;
    DWORD exitCode_ = 0;
    UINT terminateCode_ = 0;
};

// The primary thread ends with its process.
class PrimaryThreadObject : public KernelObject {
public:
    explicit PrimaryThreadObject(std::shared_ptr<ProcessObject> process) : process_(std::move(process)) {}
    DWORD Wait(DWORD milliseconds, DWORD* error) override { return process_->Wait(milliseconds, error); }

private:
    std::shared_ptr<ProcessObject> process_;
};

std::string UnquoteFirstToken(const std::string& commandLine, size_t* end) {
    size_t i = commandLine.find_first_not_of(" \t");
    if (i == std::string::npos) {
        *end = commandLine.size();
        return std::string();
    }
    if (commandLine[i] == '"') {
        const size_t close = commandLine.find('"', i + 1);
        *end = close == std::string::npos ? commandLine.size() : close + 1;
        return commandLine.substr(i + 1, (close == std::string::npos ? commandLine.size() : close) - i - 1);
    }
    const size_t stop = commandLine.find_first_of(" \t", i);
    *end = stop == std::string::npos ? commandLine.size() : stop;
    return commandLine.substr(i, *end - i);
}

// The words of a Windows command line for the host program's argv: blanks
// separate, double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENOMEM:
        case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_BAD_EXE_FORMAT;
    }
}

// The host file behind a Windows program path, or a Win32 error.
DWORD FindProgram(const std::string& windowsPath, std::string* hostPath) {
    DWORD error = ERROR_SUCCESS;
    if (!ResolveHostPath(windowsPath, hostPath, &error))
        return error == ERROR_INVALID_DRIVE ? ERROR_PATH_NOT_FOUND : error;
    struct stat info {};
    if (::stat(hostPath->c_str(), &info) != 0)
        return ErrorFromErrno(errno);
    if (S_ISDIR(info.st_mode))
        return ERROR_ACCESS_DENIED;  // what Windows says when asked to run a folder
    if (::access(hostPath->c_str(), X_OK) != 0)
        return ERROR_BAD_EXE_FORMAT;
    return ERROR_SUCCESS;
}

// The parent's environment with the child's command line and machine.
std::vector<std::string> ChildEnvironment(const std::string& commandLine) {
    std::vector<std::string> env;
    const std::string machine = MachineFolder();
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind(std::string(kCommandLineVariable) + "=", 0) == 0 || entry.rfind("HOSTWIN_MACHINE=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back(std::string(kCommandLineVariable) + "=" + commandLine);
    if (!machine.empty())
        env.push_back("HOSTWIN_MACHINE=" + machine);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

DWORD Spawn(const std::string& hostPath, const std::string& commandLine, pid_t* pid) {
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty())
        args.push_back(hostPath);
    std::vector<std::string> env = ChildEnvironment(commandLine);
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);
    const int err = ::posix_spawn(pid, hostPath.c_str(), nullptr, nullptr, argv.data(), envp.data());
    return err == 0 ? ERROR_SUCCESS : ErrorFromErrno(err);
}

std::string HostCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string line, arg;
    while (std::getline(in, arg, '\0')) {
        if (!line.empty())
            line += ' ';
        line += arg.find_first_of(" \t") == std::string::npos ? arg : '"' + arg + '"';
    }
    return line;
}

// Read once, before any thread runs, and taken out of the environment so
// that host programs that this one starts by other means do not inherit it.
std::string& CommandLine() {
    static std::string line = [] {
        const char* given = std::getenv(kCommandLineVariable);
        std::string text = given ? given : HostCommandLine();
        ::unsetenv(kCommandLineVariable);
        return text;
    }();
    return line;
}
const bool g_commandLineTaken = (CommandLine(), true);

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                           LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    DWORD error = ERROR_SUCCESS;
    if (TakeInjectedFailure("CreateProcessA", &error)) {
        SetLastError(error);
        return FALSE;
    }
    if ((lpApplicationName == nullptr && lpCommandLine == nullptr) || lpStartupInfo == nullptr ||
        lpProcessInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((dwCreationFlags & CREATE_SUSPENDED) != 0 || lpEnvironment != nullptr || lpCurrentDirectory != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }

    std::string program;
    const std::string commandLine = lpCommandLine != nullptr ? lpCommandLine : lpApplicationName;
    if (lpApplicationName != nullptr) {
        program = lpApplicationName;
    } else {
        size_t end = 0;
        program = UnquoteFirstToken(commandLine, &end);
        const size_t slash = program.find_last_of("\\/:");
        if (program.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
            program += ".exe";
    }

    std::string hostPath;
    pid_t pid = 0;
    error = FindProgram(program, &hostPath);
    if (error == ERROR_SUCCESS)
        error = Spawn(hostPath, commandLine, &pid);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }

    auto process = std::make_shared<ProcessObject>(pid);
    ProcessStarted(static_cast<DWORD>(pid), program.substr(program.find_last_of("\\/:") + 1));
    std::thread([process] {
        int status = 0;
        while (::waitpid(process->Pid(), &status, 0) < 0 && errno == EINTR) {
        }
        ProcessEnded(static_cast<DWORD>(process->Pid()));
        process->Reaped(status);
    }).detach();

    lpProcessInformation->hProcess = NewHandle(process);
    lpProcessInformation->hThread = NewHandle(std::make_shared<PrimaryThreadObject>(process));
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);  // a host process's main thread has its id
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto process = std::dynamic_pointer_cast<ProcessObject>(LookUp(hProcess));
    if (!process || lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = process->ExitCode();
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    auto process = std::dynamic_pointer_cast<ProcessObject>(LookUp(hProcess));
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!process->Terminate(uExitCode)) {
        SetLastError(ERROR_ACCESS_DENIED);  // Windows' answer for a process that has ended
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

LPSTR WINAPI GetCommandLineA() {
    return CommandLine().data();
}
