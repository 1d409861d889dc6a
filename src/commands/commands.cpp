// The command handlers.  None does the work itself: each becomes one request
// to the product component that does it, sent through a TransferData object
// of its own (constructed, initialised as NMShellExt, one SendPacket,
// destroyed).  What went wrong with a request is the messaging layer's to
// report.
#include <string>
#include <vector>

#include "commands/command_table.h"
#include "settings/shell_folders.h"

namespace {

constexpr char kConfirm[] = "CONFIRM";
constexpr char kNormal[] = "NORMAL";
constexpr char kQuick[] = "QUICK";
constexpr char kSecure[] = "SECURE";
constexpr char kCancel[] = "CANCEL";

constexpr char kProgramMissingText1[] = "Program ";
constexpr char kProgramMissingText2[] =
    " was not located on your computer.\n"
    "You must reinstall Nullmark or restore the program to its original location.";
constexpr char kProgramMissingTitle[] = "Error";

// The messaging endpoint for the length of one command.  It is opened before
// the selection is looked at, so a command over an empty selection still
// opens and closes it.
class ShellRequest {
public:
    explicit ShellRequest(HINSTANCE module) { transfer_.Initialize(NMShellExt, module); }
    void Send(CallerId destination, TransferOperation operation, const std::vector<std::string>& strings) {
        transfer_.SendPacket(destination, operation, strings);
    }
    void SendEmpty(CallerId destination, TransferOperation operation) {
        transfer_.SendPacket(destination, operation, 0, nullptr);
    }

private:
    TransferData transfer_;
};

// "CONFIRM" and the selection in the shell's order, exactly as captured.
std::vector<std::string> VuzRequest(const std::vector<std::string>& selection) {
    std::vector<std::string> strings;
    strings.reserve(selection.size() + 1);
    strings.emplace_back(kConfirm);
    strings.insert(strings.end(), selection.begin(), selection.end());
    return strings;
}

// Only removable and fixed disks are the watcher's to wipe in place; files
// on shares, CD-ROMs, RAM disks and unknown drives go to the VUZ program.
bool IsOnLocalDisk(const std::string& path) {
    if (path.size() >= 2 && path[1] == '\\')
        return false;  // \\server\share\...
    const char root[] = {path.empty() ? '\0' : path[0], ':', '\\', '\0'};
    const UINT type = GetDriveTypeA(root);
    return type == DRIVE_REMOVABLE || type == DRIVE_FIXED;
}

// Starts nmzap4.exe from the installation directory, then sends it the list.
void LaunchVuzProgram(const CommandContext& context) {
    const std::vector<std::string> request = VuzRequest(context.selection);
    const std::string location = GetProgramLocation();
    if (location.empty())
        return;  // not installed, or the value unreadable: nothing to start
    std::string program = location;
    if (program.back() != '\\')
        program += '\\';
    program += kVuzProgramName;

    // The program learns its work from the request, never from its command
    // line: the line is the bare path, and the path is taken as given, with
    // no search of the executable path.
    std::vector<char> commandLine(program.begin(), program.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        // Only a missing program is the user's to fix; anything else stays
        // silent.  A missing installation folder is a missing program too
        // (Windows says "path" instead of "file" then).  Either way there is
        // nobody to send the request to.
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            MessageBoxA(nullptr, (kProgramMissingText1 + program + kProgramMissingText2).c_str(), kProgramMissingTitle,
                        MB_OK | MB_ICONERROR);
        return;
    }
    // The extension neither waits for the program nor asks how it ended:
    // both handles go at once, so that the shell's process holds nothing of it.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    // No wait of our own: the sender retries until the program's pipe is up.
    ShellRequest(context.module).Send(NMVuz, ZOVU_DEFAULT_MESSAGE, request);
}

// Both cleans: drive roots ("C:\") clean every selected item's drive,
// repeats kept; a folder or file cleans its own drive only.
void SendCleanRequest(const Command& command, const CommandContext& context) {
    ShellRequest request(context.module);
    const std::vector<std::string>& selection = context.selection;
    if (selection.empty())
        return;  // nothing may be sent that names a drive nobody chose
    std::string drives;
    if (selection[0].size() == 3)
        for (DWORD i = 0; i < context.selectionCount && i < selection.size(); ++i) drives += selection[i][0];
    else
        drives += selection[0][0];
    request.Send(command.destination, command.operation,
                 {kNormal, context.quickClean != 0 ? kQuick : kSecure, kCancel, drives});
}

}  // namespace

void VuzSelection(const Command& command, CommandContext& context) {
    if (context.selection.empty())
        return;
    // The first item decides for the whole selection.
    if (IsOnLocalDisk(context.selection[0]))
        ShellRequest(context.module).Send(command.destination, command.operation, VuzRequest(context.selection));
    else
        LaunchVuzProgram(context);
}

void DeepClean(const Command& command, CommandContext& context) {
    context.quickClean = 0;
    SendCleanRequest(command, context);
}

void QuickClean(const Command& command, CommandContext& context) {
    context.quickClean = 1;
    SendCleanRequest(command, context);
}

void ScanDrives(const Command& command, CommandContext& context) {
    ShellRequest request(context.module);
    if (context.selection.empty())
        return;
    // The drive letter in the case the shell gave it.
    request.Send(command.destination, command.operation, {std::string(1, context.selection[0][0])});
}

void Configuration(const Command& command, CommandContext& context) {
    // Names no drive: sent whatever the selection.
    ShellRequest(context.module).SendEmpty(command.destination, command.operation);
}
