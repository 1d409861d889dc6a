#include "support/unanswered_box.h"

namespace nmtest {
namespace {

constexpr char kDialogClass[] = "#32770";
constexpr int kStaticTextId = 0xFFFF;  // the box's text control
constexpr DWORD kPollMs = 10;

HWND FindOwnBox() {
    for (HWND box = FindWindowExA(nullptr, nullptr, kDialogClass, nullptr); box != nullptr;
         box = FindWindowExA(nullptr, box, kDialogClass, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        if (pid == GetCurrentProcessId())
            return box;
    }
    return nullptr;
}

}  // namespace

UnansweredBox::UnansweredBox() = default;

UnansweredBox::~UnansweredBox() { Answer(); }

bool UnansweredBox::WaitShown(const std::string& text, DWORD milliseconds) {
    for (DWORD waited = 0;; waited += kPollMs) {
        // The dialog exists a moment before its text does: read until it is
        // the text awaited.
        if (HWND box = FindOwnBox()) {
            char shown[1024] = {};
            GetWindowTextA(GetDlgItem(box, kStaticTextId), shown, sizeof shown);
            if (text == shown)
                return true;
        }
        if (waited >= milliseconds)
            return false;
        Sleep(kPollMs);
    }
}

void UnansweredBox::Answer() {
    while (HWND box = FindOwnBox()) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        // The box's own thread closes it; give it the moment it needs.
        for (int i = 0; i < 200 && FindOwnBox() == box; ++i)
            Sleep(kPollMs);
        if (FindOwnBox() == box)
            break;
    }
}

}  // namespace nmtest
