#include <chrono>
#include <condition_variable>
#include <mutex>

#include "hostwin/machine.h"
#include "support/unanswered_box.h"

namespace nmtest {
namespace {

struct BoxState {
    std::mutex lock;
    std::condition_variable changed;
    bool shown = false;
    bool answered = false;
    std::string text;
};

BoxState g_box;

}  // namespace

UnansweredBox::UnansweredBox() {
    {
        std::lock_guard<std::mutex> guard(g_box.lock);
        g_box.shown = g_box.answered = false;
        g_box.text.clear();
    }
    hostwin::Machine::UseVirtualSleep(true);
    hostwin::Machine::OnMessageBox([](const hostwin::MessageBoxRecord& box) {
        std::unique_lock<std::mutex> guard(g_box.lock);
        if (!g_box.shown) {
            g_box.shown = true;
            g_box.text = box.text;
        }
        g_box.changed.notify_all();
        g_box.changed.wait(guard, [] { return g_box.answered; });
    });
}

UnansweredBox::~UnansweredBox() {
    Answer();
    hostwin::Machine::OnMessageBox(nullptr);
    hostwin::Machine::UseVirtualSleep(false);
}

bool UnansweredBox::WaitShown(const std::string& text, DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(g_box.lock);
    g_box.changed.wait_for(guard, std::chrono::milliseconds(milliseconds), [] { return g_box.shown; });
    return g_box.shown && g_box.text == text;
}

void UnansweredBox::Answer() {
    std::lock_guard<std::mutex> guard(g_box.lock);
    g_box.answered = true;
    g_box.changed.notify_all();
}

}  // namespace nmtest
