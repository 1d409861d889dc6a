// Processes on the simulated machine: a Windows program path runs the host
// program behind it, with its command line, and ends up reaped.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "hostwin/machine.h"
#include "platform/win32.h"

namespace {

namespace fs = std::filesystem;
using hostwin::Machine;

class ProcessesTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::DriveSetup c;
        c.letter = 'C';
        drive_ = fs::path(Machine::AddDrive(c));
        fs::create_directories(drive_ / "Program Files" / "Nullmark");
        fs::create_symlink(NM_PROCESS_CHILD, drive_ / "Program Files" / "Nullmark" / "child.exe");
        report_ = fs::temp_directory_path() / ("hostwin-process-report-" + std::to_string(::getpid()));
        ::setenv("NM_CHILD_REPORT", report_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("NM_CHILD_REPORT");
        fs::remove(report_);
        // The link goes first: removing the drive's folder resets the
        // permissions of what lies in it, and must not reach the program.
        fs::remove(drive_ / "Program Files" / "Nullmark" / "child.exe");
        Machine::RemoveDrive('C');
        Machine::Reset();
    }

    // CreateProcessA as the extension calls it; the error code when it fails.
    DWORD Start(const char* application, std::string commandLine, PROCESS_INFORMATION* pi) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        *pi = {};
        const BOOL ok = CreateProcessA(application, commandLine.empty() ? nullptr : commandLine.data(), nullptr,
                                       nullptr, FALSE, 0, nullptr, nullptr, &si, pi);
        return ok ? ERROR_SUCCESS : GetLastError();
    }
    std::string Report() const {
        std::stringstream text;
        text << std::ifstream(report_).rdbuf();
        return text.str();
    }

    fs::path drive_, report_;
};

constexpr char kChild[] = "C:\\Program Files\\Nullmark\\child.exe";

TEST_F(ProcessesTest, RunsTheProgramWithItsCommandLineAndReportsItsExitCode) {
    PROCESS_INFORMATION pi;
    ASSERT_EQ(Start(kChild, std::string(kChild) + " 7", &pi), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(pi.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "the thread ends with it";
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(Report(), std::string(kChild) + " 7\n(no machine)\nvariable taken\n");

    // Reaped as soon as it ended, not when the handle goes.
    EXPECT_EQ(::kill(static_cast<pid_t>(pi.dwProcessId), 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, &code));
}

// Without a command line the program path is one; without a program, the
// command line's first token with ".exe" added; any letter case; a script.
TEST_F(ProcessesTest, TheProgramComesFromTheApplicationNameOrTheCommandLine) {
    const fs::path script = drive_ / "Program Files" / "Nullmark" / "tool.exe";
    std::ofstream(script) << "#!/bin/sh\nexit 9\n";
    fs::permissions(script, fs::perms::owner_all);
    struct Case {
        const char* application;
        const char* commandLine;
        DWORD code;
        const char* seen;  // the command line the child reports; null for the script
    };
    const Case cases[] = {
        {kChild, "", 0, kChild},
        {nullptr, "\"C:\\Program Files\\Nullmark\\child\" 3", 3, "\"C:\\Program Files\\Nullmark\\child\" 3"},
        {"c:\\program files\\nullmark\\TOOL.EXE", "tool", 9, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        fs::remove(report_);
        PROCESS_INFORMATION pi;
        ASSERT_EQ(Start(c.application, c.commandLine, &pi), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD code = 99;
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        EXPECT_EQ(code, c.code);
        if (c.seen != nullptr) {
            EXPECT_EQ(Report().substr(0, Report().find('\n')), c.seen);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

TEST_F(ProcessesTest, TheChildSharesTheMachine) {
    const fs::path machine = fs::temp_directory_path() / ("hostwin-process-machine-" + std::to_string(::getpid()));
    fs::create_directories(machine);
    Machine::Attach(machine.string());
    PROCESS_INFORMATION pi;
    const DWORD error = Start(kChild, kChild, &pi);
    if (error == ERROR_SUCCESS) {
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    Machine::Attach("");
    fs::remove_all(machine);
    ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(Report().find("\n" + machine.string() + "\n"), std::string::npos) << Report();
}

TEST_F(ProcessesTest, ARunningProcessIsStillActiveUntilTerminated) {
    PROCESS_INFORMATION pi;
    ASSERT_EQ(Start(kChild, std::string(kChild) + " wait", &pi), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 42));
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1)) << "it has ended";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST_F(ProcessesTest, ClosingTheHandlesAtOnceLeavesNothingBehind) {
    const size_t before = Machine::OpenHandles();
    PROCESS_INFORMATION pi;
    ASSERT_EQ(Start(kChild, kChild, &pi), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_EQ(Machine::OpenHandles(), before);
    // The child still runs to its end and is reaped without anyone waiting.
    for (int i = 0; i < 1000 && ::kill(static_cast<pid_t>(pi.dwProcessId), 0) == 0; ++i) ::usleep(10000);
    EXPECT_EQ(::kill(static_cast<pid_t>(pi.dwProcessId), 0), -1);
}

struct StartFailure {
    const char* name;
    const char* program;
    DWORD error;
};
const StartFailure kStartFailures[] = {
    {"missing file in an existing folder", "C:\\Program Files\\Nullmark\\nmzap4.exe", ERROR_FILE_NOT_FOUND},
    {"missing folder", "C:\\Program Files\\Gone\\nmzap4.exe", ERROR_PATH_NOT_FOUND},
    {"drive that does not exist", "Q:\\nmzap4.exe", ERROR_PATH_NOT_FOUND},
    {"a folder", "C:\\Program Files\\Nullmark", ERROR_ACCESS_DENIED},
    {"a file the host cannot run", "C:\\Program Files\\Nullmark\\readme.txt", ERROR_BAD_EXE_FORMAT},
};

TEST_F(ProcessesTest, StartFailuresGiveWindowsErrorCodes) {
    std::ofstream(drive_ / "Program Files" / "Nullmark" / "readme.txt") << "text";
    const size_t before = Machine::OpenHandles();
    for (const auto& c : kStartFailures) {
        SCOPED_TRACE(c.name);
        PROCESS_INFORMATION pi;
        EXPECT_EQ(Start(c.program, c.program, &pi), c.error);
        EXPECT_EQ(pi.hProcess, nullptr);
    }
    EXPECT_EQ(Machine::OpenHandles(), before);
}

}  // namespace
