// The five commands of the submenu.  None does the work itself: each becomes
// one request to the product component that does it, sent through a
// TransferData object of its own (constructed, initialised as NMShellExt,
// one SendPacket, destroyed).  Every handler answers S_OK: what went wrong
// with a request is the messaging layer's to report.
#include <string>
#include <vector>

#include "commands/shell_commands.h"
#include "messaging/transfer_data.h"
#include "settings/shell_folders.h"
#include "shellext/module.h"
#include "shellext/shell_extension.h"

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

}  // namespace

HRESULT ShellExtension::OnVuzSelection(HWND owner, LPCSTR, LPCSTR, LPCSTR, int) {
    if (selection.empty())
        return S_OK;
    // The first item decides for the whole selection.
    if (IsOnLocalDisk(selection[0]))
        SendShellRequest(ShellRequestVuz, owner);
    else
        LaunchVuzProgram(owner);
    return S_OK;
}

HRESULT ShellExtension::OnDeepClean(HWND owner, LPCSTR, LPCSTR, LPCSTR, int) {
    quickClean = 0;
    SendShellRequest(ShellRequestClean, owner);
    return S_OK;
}

HRESULT ShellExtension::OnQuickClean(HWND owner, LPCSTR, LPCSTR, LPCSTR, int) {
    quickClean = 1;
    SendShellRequest(ShellRequestClean, owner);
    return S_OK;
}

HRESULT ShellExtension::OnScanDrives(HWND owner, LPCSTR, LPCSTR, LPCSTR, int) {
    SendShellRequest(ShellRequestScan, owner);
    return S_OK;
}

HRESULT ShellExtension::OnConfiguration(HWND owner, LPCSTR, LPCSTR, LPCSTR, int) {
    SendShellRequest(ShellRequestConfiguration, owner);
    return S_OK;
}

int ShellExtension::LaunchVuzProgram(HWND /*owner*/) {
    const std::vector<std::string> request = VuzRequest(selection);
    const std::string location = GetProgramLocation();
    if (location.empty())
        return 0;  // not installed, or the value unreadable: nothing to start
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
        return 0;
    }
    // The extension neither waits for the program nor asks how it ended:
    // both handles go at once, so that the shell's process holds nothing of it.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    // No wait of our own: the sender retries until the program's pipe is up.
    TransferData transfer;
    transfer.Initialize(NMShellExt, g_hInstance);
    transfer.SendPacket(NMVuz, ZOVU_DEFAULT_MESSAGE, request);
    return 0;
}

int ShellExtension::SendShellRequest(ShellCommandCode code, HWND /*owner*/) {
    TransferData transfer;
    transfer.Initialize(NMShellExt, g_hInstance);

    // The shell offers no command without a selection; should one come
    // anyway, the requests that name a drive are not sent at all rather than
    // naming a drive nobody chose.
    const bool needsSelection = code == ShellRequestScan || code == ShellRequestVuz || code == ShellRequestClean;
    if (needsSelection && selection.empty())
        return 0;

    switch (code) {
        case ShellRequestScan:
            // The drive letter in the case the shell gave it.
            transfer.SendPacket(NMTray, ZOVU_RUN_NULLSCAN, std::vector<std::string>{std::string(1, selection[0][0])});
            break;
        case ShellRequestVuz: transfer.SendPacket(NMWatch, ZOVU_RUN_VUZ, VuzRequest(selection)); break;
        case ShellRequestClean: {
            // Drive roots ("C:\") clean every selected item's drive, repeats
            // kept; a folder or file cleans its own drive only.
            std::string drives;
            if (selection[0].size() == 3)
                for (DWORD i = 0; i < selectionCount && i < selection.size(); ++i) drives += selection[i][0];
            else
                drives += selection[0][0];
            transfer.SendPacket(NMWatch, ZOVU_RUN_NMAGENT,
                                std::vector<std::string>{kNormal, quickClean != 0 ? kQuick : kSecure, kCancel, drives});
            break;
        }
        case ShellRequestConfiguration: transfer.SendPacket(NMTray, ZOVU_RUN_NMBASE, 0, nullptr); break;
        default: break;
    }
    return 0;
}
