// On Windows a box is a real dialog that blocks the thread that shows it
// (under Wine without a display it never closes by itself).  A watcher
// thread finds this process's dialogs, prints them and presses OK.
#include <atomic>

#include "box_watch.h"
#include "platform/win32.h"

namespace {

constexpr char kDialogClass[] = "#32770";
constexpr int kStaticTextId = 0xFFFF;  // the box's text control
constexpr DWORD kPollMs = 20;

std::atomic<bool> g_stop{false};
bool g_answerOk = true;
HANDLE g_thread = nullptr;

HWND FindOwnBox() {
    for (HWND box = FindWindowExA(nullptr, nullptr, kDialogClass, nullptr); box != nullptr;
         box = FindWindowExA(nullptr, box, kDialogClass, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(box))
            return box;
    }
    return nullptr;
}

DWORD WINAPI Watch(LPVOID) {
    HWND answered = nullptr;
    while (!g_stop.load()) {
        HWND box = FindOwnBox();
        if (box != nullptr && box != answered) {
            char title[256] = {};
            char text[1024] = {};
            GetWindowTextA(box, title, sizeof title);
            GetWindowTextA(GetDlgItem(box, kStaticTextId), text, sizeof text);
            PrintBox(title, text);
            if (g_answerOk)
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            answered = box;
        } else if (box == nullptr) {
            answered = nullptr;
        }
        Sleep(kPollMs);
    }
    return 0;
}

}  // namespace

BoxWatch::BoxWatch(Answer answer) {
    g_stop = false;
    g_answerOk = answer == Answer::Ok;
    g_thread = CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr);
}

BoxWatch::~BoxWatch() {
    g_stop = true;
    if (g_thread != nullptr) {
        WaitForSingleObject(g_thread, INFINITE);
        CloseHandle(g_thread);
        g_thread = nullptr;
    }
}
