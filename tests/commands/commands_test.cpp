// The commands end to end on the simulated machine: each request must arrive
// byte for byte at a raw pipe server standing in for its component, and the
// VUZ program must be started from the installation directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostwin/machine.h"
#include "messaging/messaging_support.h"
#include "platform/win32.h"
#include "shellext/shell_extension.h"
#include "shellhost/drop_data_object.h"

namespace {

namespace fs = std::filesystem;
using hostwin::Machine;
using Bytes = std::vector<BYTE>;

// A component's pipe: takes one connection and keeps every byte.
using PipeReceiver = nmtest::RawPipeServer;

// A packet from the extension (identity 4), built by hand from the wire
// format: header, then each string and a zero byte, then a closing zero.
Bytes Packet(BYTE destination, BYTE operation, const std::vector<std::string>& strings) {
    std::string data;
    for (const auto& s : strings) data += s + '\0';
    if (!data.empty())
        data += '\0';
    const auto n = static_cast<DWORD>(data.size());
    Bytes bytes = {4, destination, operation, BYTE(n >> 24), BYTE(n >> 16), BYTE(n >> 8), BYTE(n)};
    for (char c : data) bytes.push_back(static_cast<BYTE>(c));
    return bytes;
}

std::string Dump(const Bytes& b) {
    std::ostringstream out;
    for (BYTE c : b) out << (c >= 32 && c < 127 ? std::string(1, char(c)) : "<" + std::to_string(c) + ">");
    return out.str();
}

constexpr char kInstallDir[] = "C:\\Program Files\\Nullmark";
constexpr char kVuzProgram[] = "C:\\Program Files\\Nullmark\\nmzap4.exe";

class CommandsTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::UseVirtualSleep(true);  // a request nobody takes fails in no time
        AddDrive('C', DRIVE_FIXED);
        AddDrive('D', DRIVE_FIXED);
        AddDrive('E', DRIVE_CDROM);
        AddDrive('F', DRIVE_REMOTE);
        AddDrive('A', DRIVE_REMOVABLE);
        install_ = fs::path(Machine::HostPath("C:\\")) / "Program Files" / "Nullmark";
        fs::create_directories(install_);
        fs::create_symlink(NM_PROCESS_CHILD, install_ / "nmzap4.exe");
        SetInstallDir(kInstallDir);
        report_ = fs::temp_directory_path() / ("nm-commands-report-" + std::to_string(::getpid()));
        ::setenv("NM_CHILD_REPORT", report_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("NM_CHILD_REPORT");
        fs::remove(report_);
        fs::remove(install_ / "nmzap4.exe");  // before the drive's folder is cleaned
        for (char letter : {'C', 'D', 'E', 'F', 'A'}) Machine::RemoveDrive(letter);
        Machine::Reset();
    }

    static void AddDrive(char letter, UINT type) {
        Machine::DriveSetup d;
        d.letter = letter;
        d.type = type;
        Machine::AddDrive(d);
    }
    static void SetInstallDir(const std::string& uil) {
        std::string escaped;
        for (char c : uil) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        ASSERT_TRUE(
            Machine::ImportRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n"
                                    "\"UIL\"=\"" +
                                    escaped + "\"\r\n"));
    }

    // The shell's part: an object, the selection, the chosen verb.
    static HRESULT Invoke(const std::vector<std::string>& selection, LPCSTR verb) {
        auto* extension = new ShellExtension;
        extension->AddRef();
        DropDataObject* data = DropDataObject::Create(selection);
        extension->Initialize(nullptr, data, nullptr);
        data->Release();
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = verb;
        info.nShow = SW_SHOWNORMAL;
        const HRESULT hr = extension->InvokeCommand(&info);
        extension->Release();
        return hr;
    }
    static HRESULT Invoke(const std::vector<std::string>& selection, UINT offset) {
        return Invoke(selection, MAKEINTRESOURCEA(offset));
    }

    // The command line the started program saw, or "" when none ran.  The
    // program may still be starting when the request has arrived; its report
    // appears whole (it is renamed into place), so its existence is the
    // condition waited for, for 10 s at most.
    std::string StartedCommandLine(bool expectOne = true) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (expectOne && !fs::exists(report_) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::ifstream in(report_);
        std::string line;
        std::getline(in, line);
        return line;
    }

    fs::path install_, report_;
};

struct RequestCase {
    const char* name;
    UINT offset;
    std::vector<std::string> selection;
    BYTE destination;
    BYTE operation;
    std::vector<std::string> payload;
    bool rawEmpty = false;  // sent in the raw form with length 0
};

const std::vector<std::string> kShareFirst = {"\\\\server\\share\\a.txt", "C:\\b.txt"};
const std::vector<std::string> kLocalFirst = {"C:\\b.txt", "\\\\server\\share\\a.txt"};

const RequestCase kRequestCases[] = {
    {"VUZ, share path first: the VUZ program", 0, kShareFirst, 0, 0, {"CONFIRM", kShareFirst[0], kShareFirst[1]}},
    {"VUZ, a file on the CD-ROM: the VUZ program", 0, {"E:\\setup\\read.me"}, 0, 0, {"CONFIRM", "E:\\setup\\read.me"}},
    {"VUZ, a mapped network drive: the VUZ program", 0, {"F:\\x.doc"}, 0, 0, {"CONFIRM", "F:\\x.doc"}},
    {"VUZ, fixed disk first: the watcher", 0, kLocalFirst, 6, 4, {"CONFIRM", kLocalFirst[0], kLocalFirst[1]}},
    {"VUZ, floppy: the watcher", 0, {"a:\\old.txt"}, 6, 4, {"CONFIRM", "a:\\old.txt"}},
    {"Deep Clean of a folder cleans its drive", 1, {"E:\\data"}, 6, 10, {"NORMAL", "SECURE", "CANCEL", "E"}},
    {"Deep Clean of roots keeps repeats", 1, {"C:\\", "C:\\temp"}, 6, 10, {"NORMAL", "SECURE", "CANCEL", "CC"}},
    {"Deep Clean of files names the first one's drive",
     1,
     {"D:\\a.txt", "C:\\b.txt"},
     6,
     10,
     {"NORMAL", "SECURE", "CANCEL", "D"}},
    {"Quick Clean of two roots", 2, {"C:\\", "D:\\"}, 6, 10, {"NORMAL", "QUICK", "CANCEL", "CD"}},
    {"Scan keeps the shell's letter case", 3, {"d:\\", "C:\\"}, 3, 6, {"d"}},
    {"Configuration sends no data", 4, {"C:\\a.txt"}, 3, 5, {}, true},
};

TEST_F(CommandsTest, EveryRequestArrivesByteForByteAtItsComponent) {
    for (const auto& c : kRequestCases) {
        SCOPED_TRACE(c.name);
        fs::remove(report_);
        PipeReceiver vuz(0), tray(3), watch(6);
        EXPECT_EQ(Invoke(c.selection, c.offset), S_OK);
        const Bytes expected = Packet(c.destination, c.operation, c.payload);
        if (c.rawEmpty) {
            EXPECT_EQ(expected.size(), 7u);
        }
        const std::pair<int, PipeReceiver*> receivers[] = {{0, &vuz}, {3, &tray}, {6, &watch}};
        for (const auto& [id, receiver] : receivers)
            EXPECT_EQ(Dump(receiver->Finish()), id == c.destination ? Dump(expected) : "") << "at Router" << id;
        // Only the VUZ program's road starts a process, with its bare path.
        EXPECT_EQ(StartedCommandLine(c.destination == 0), c.destination == 0 ? kVuzProgram : "");
        EXPECT_TRUE(Machine::MessageBoxes().empty());
    }
}

TEST_F(CommandsTest, OnlyCommandOffsetsZeroToFourAreCommands) {
    struct VerbCase {
        const char* name;
        LPCSTR verb;
        HRESULT result;
        int router;  // where a request goes, -1 for none
    };
    const VerbCase cases[] = {
        {"offset 0", MAKEINTRESOURCEA(0), S_OK, 6},
        {"offset 1", MAKEINTRESOURCEA(1), S_OK, 6},
        {"offset 2", MAKEINTRESOURCEA(2), S_OK, 6},
        {"offset 3", MAKEINTRESOURCEA(3), S_OK, 3},
        {"offset 4", MAKEINTRESOURCEA(4), S_OK, 3},
        {"offset 5", MAKEINTRESOURCEA(5), E_INVALIDARG, -1},
        {"offset 0xFFFF", MAKEINTRESOURCEA(0xFFFF), E_INVALIDARG, -1},
        {"a text verb", "open", E_INVALIDARG, -1},
        {"high word set over a valid offset", reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(0x10001)), E_INVALIDARG,
         -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PipeReceiver vuz(0), tray(3), watch(6);
        EXPECT_EQ(Invoke({"C:\\"}, c.verb), c.result);
        EXPECT_TRUE(vuz.Finish().empty());
        EXPECT_EQ(tray.Finish().empty(), c.router != 3);
        EXPECT_EQ(watch.Finish().empty(), c.router != 6);
    }
    EXPECT_EQ(StartedCommandLine(false), "");
}

// The VUZ program's road: the request goes out only once the program has
// started from the installation directory; a missing program is reported, a
// program that cannot start is not.
TEST_F(CommandsTest, TheVuzProgramStartsFromTheInstallationDirectory) {
    enum class File { kProgram, kText, kNone };
    struct Case {
        const char* name;
        const char* uil;  // null: no "UIL" value
        File file;        // what lies at the program's path
        const char* program;
        bool runs, missingBox;
    };
    const Case cases[] = {
        {"directory", kInstallDir, File::kProgram, kVuzProgram, true, false},
        {"directory with a backslash", "C:\\Program Files\\Nullmark\\", File::kProgram, kVuzProgram, true, false},
        {"drive root", "C:\\", File::kProgram, "C:\\nmzap4.exe", true, false},
        {"the program is gone", kInstallDir, File::kNone, kVuzProgram, false, true},
        {"so is its folder", "D:\\Gone\\", File::kNone, "D:\\Gone\\nmzap4.exe", false, true},
        {"the file is no program", kInstallDir, File::kText, kVuzProgram, false, false},
        {"no installation directory", nullptr, File::kProgram, kVuzProgram, false, false},
    };
    const fs::path rootProgram = fs::path(Machine::HostPath("C:\\")) / "nmzap4.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(report_);
        fs::remove(install_ / "nmzap4.exe");
        fs::remove(rootProgram);
        const fs::path at = std::string(c.program) == "C:\\nmzap4.exe" ? rootProgram : install_ / "nmzap4.exe";
        if (c.file == File::kProgram)
            fs::create_symlink(NM_PROCESS_CHILD, at);
        else if (c.file == File::kText)
            std::ofstream(at) << "not a program";
        if (c.uil != nullptr)
            SetInstallDir(c.uil);
        else
            ASSERT_TRUE(Machine::ImportRegistry(
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n\"UIL\"=-\r\n"));
        Machine::ClearMessageBoxes();
        PipeReceiver vuz(0);
        EXPECT_EQ(Invoke({"E:\\a.txt"}, 0u), S_OK);
        EXPECT_EQ(Dump(vuz.Finish()), c.runs ? Dump(Packet(0, 0, {"CONFIRM", "E:\\a.txt"})) : "");
        EXPECT_EQ(StartedCommandLine(c.runs), c.runs ? c.program : "");
        const auto boxes = Machine::MessageBoxes();
        ASSERT_EQ(boxes.size(), c.missingBox ? 1u : 0u);
        if (c.missingBox) {
            EXPECT_EQ(boxes[0].owner, nullptr);
            EXPECT_EQ(boxes[0].text, std::string("Program ") + c.program +
                                         " was not located on your computer.\n"
                                         "You must reinstall Nullmark or restore the program to its original location.");
            EXPECT_EQ(boxes[0].caption, "Error");
            EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
        }
    }
    fs::remove(rootProgram);
}

TEST_F(CommandsTest, AnEmptySelectionSendsNothingThatNamesADrive) {
    for (UINT offset = 0; offset <= 4; ++offset) {
        SCOPED_TRACE(offset);
        PipeReceiver vuz(0), tray(3), watch(6);
        EXPECT_EQ(Invoke({}, offset), S_OK);
        EXPECT_TRUE(vuz.Finish().empty());
        EXPECT_TRUE(watch.Finish().empty());
        // Configuration names no drive and still opens.
        EXPECT_EQ(Dump(tray.Finish()), offset == 4 ? Dump(Packet(3, 5, {})) : "");
    }
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

}  // namespace
