// Media in removable drives, and the process's error mode that decides who
// hears about a missing one: the caller (an error) or the user (the system's
// box, then the error).  A shared machine keeps the empty drives in its
// machine.conf ("nomedium").
#include <cctype>
#include <mutex>
#include <set>
#include <string>

#include "errors.h"
#include "machine.h"
#include "machine_state.h"
#include "media_state.h"
#include "messagebox.h"

namespace hostwin::detail {
namespace {

struct MediaState {
    std::mutex mutex;
    std::set<char> empty;  // upper-case letters of drives without a medium
    UINT errorMode = 0;
};

MediaState& State() {
    static MediaState s;
    return s;
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string Letters() {
    std::lock_guard lock(State().mutex);
    return std::string(State().empty.begin(), State().empty.end());
}

}  // namespace

bool DriveHasMedium(char letter) {
    MachineFolder();  // a shared machine's settings are read on first use
    std::lock_guard lock(State().mutex);
    return State().empty.count(Upper(letter)) == 0;
}

DWORD NoMediumError(char letter) {
    UINT mode;
    {
        std::lock_guard lock(State().mutex);
        mode = State().errorMode;
    }
    if ((mode & SEM_FAILCRITICALERRORS) == 0) {
        const std::string text = std::string("There is no disk in the drive. Please insert a disk into drive ") +
                                 Upper(letter) + ":.";
        MessageBoxA(nullptr, text.c_str(), "Windows - No Disk", MB_ICONHAND);
    }
    return ERROR_NOT_READY;
}

void ApplyMediaSetting(const std::string& value) {
    std::lock_guard lock(State().mutex);
    State().empty = std::set<char>(value.begin(), value.end());
}

void ResetMedia() {
    {
        std::lock_guard lock(State().mutex);
        State().empty.clear();
        State().errorMode = 0;
    }
    SaveSharedSetting("nomedium", "");
}

}  // namespace hostwin::detail

UINT WINAPI SetErrorMode(UINT uMode) {
    auto& s = hostwin::detail::State();
    std::lock_guard lock(s.mutex);
    const UINT previous = s.errorMode;
    s.errorMode = uMode;
    return previous;
}

namespace hostwin {

void Machine::SetDriveMedium(char letter, bool present) {
    {
        auto& s = detail::State();
        std::lock_guard lock(s.mutex);
        if (present)
            s.empty.erase(detail::Upper(letter));
        else
            s.empty.insert(detail::Upper(letter));
    }
    detail::SaveSharedSetting("nomedium", detail::Letters());
}

}  // namespace hostwin
