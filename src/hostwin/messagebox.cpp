#include "messagebox.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "machine.h"

namespace {

struct BoxState {
    std::mutex mutex;
    std::vector<hostwin::MessageBoxRecord> shown;
    int answer = IDOK;
    std::function<void(const hostwin::MessageBoxRecord&)> listener;
};

BoxState& State() {
    static BoxState s;
    return s;
}

}  // namespace

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    hostwin::MessageBoxRecord box{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType};
    std::function<void(const hostwin::MessageBoxRecord&)> listener;
    int answer;
    {
        std::lock_guard lock(State().mutex);
        State().shown.push_back(box);
        listener = State().listener;
        answer = State().answer;
    }
    if (listener)
        listener(box);
    // A program of a shared machine shows its boxes on stderr, where the
    // person running the machine sees them.
    if (std::getenv("HOSTWIN_MESSAGEBOX_STDERR") != nullptr)
        std::fprintf(stderr, "[message box \"%s\", type 0x%X]\n%s\n", box.caption.c_str(), box.type, box.text.c_str());
    return answer;
}

namespace hostwin {

std::vector<MessageBoxRecord> Machine::MessageBoxes() {
    std::lock_guard lock(State().mutex);
    return State().shown;
}

void Machine::ClearMessageBoxes() {
    std::lock_guard lock(State().mutex);
    State().shown.clear();
}

void Machine::SetMessageBoxAnswer(int answer) {
    std::lock_guard lock(State().mutex);
    State().answer = answer;
}

void Machine::OnMessageBox(std::function<void(const MessageBoxRecord&)> listener) {
    std::lock_guard lock(State().mutex);
    State().listener = std::move(listener);
}

}  // namespace hostwin
