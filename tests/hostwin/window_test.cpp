// Window classes, windows and messages through the Win32 API only: this file
// runs on hostwin and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr char kClass[] = "NmTestReceiver";

// What the receiving window procedure saw, for the test to look at.
struct Seen {
    std::atomic<DWORD> thread{0};
    std::atomic<int> copies{0};
    ULONG_PTR dwData = 0;
    std::vector<BYTE> data;
};
Seen g_seen;

LRESULT CALLBACK ReceiverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    g_seen.thread = GetCurrentThreadId();
    g_seen.dwData = cds->dwData;
    const auto* bytes = static_cast<const BYTE*>(cds->lpData);
    g_seen.data.assign(bytes, bytes + cds->cbData);
    ++g_seen.copies;
    return 77;
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        g_seen.thread = 0;
        g_seen.copies = 0;
        g_seen.data.clear();
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW;
        wc.lpfnWndProc = ReceiverProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        ASSERT_NE(wc.hCursor, nullptr);
        // Once per process: the product never takes a class back either.
        static const ATOM atom = RegisterClassExA(&wc);
        ASSERT_NE(atom, 0) << GetLastError();
    }

    static HWND CreateReceiver(const char* title) {
        return CreateWindowExA(WS_EX_CLIENTEDGE, kClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
};

TEST_F(WindowTest, AClassIsRegisteredOncePerModule) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "nmtestreceiver";  // names compare without regard to case
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(WindowTest, FindWindowMatchesTitleAndClassEitherOfWhichMayBeLeftOut) {
    const std::string title = "Router" + std::to_string(GetCurrentProcessId()) + "-find";
    HWND window = CreateReceiver(title.c_str());
    ASSERT_NE(window, nullptr) << GetLastError();
    char text[64] = {};
    EXPECT_EQ(GetWindowTextA(window, text, sizeof text), static_cast<int>(title.size()));
    EXPECT_EQ(std::string(text), title);

    struct Case {
        const char* cls;
        std::string title;
        bool found;
    };
    const Case kCases[] = {
        {nullptr, title, true},
        {kClass, title, true},
        {"NoSuchClass", title, false},
        {nullptr, title + "x", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "class=" << (c.cls ? c.cls : "(any)") << " title=" << c.title);
        EXPECT_EQ(FindWindowA(c.cls, c.title.c_str()) == window, c.found);
    }
    EXPECT_EQ(FindWindowA(kClass, nullptr), window) << "null title: any";
    EXPECT_TRUE(SetForegroundWindow(window));

    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(FindWindowA(nullptr, title.c_str()), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, CopyDataSentOnTheSameThreadReachesTheProcedureAtOnce) {
    HWND window = CreateReceiver("same-thread");
    ASSERT_NE(window, nullptr);
    BYTE packet[] = {4, 0, 0, 0, 0, 0, 1, 0x7E};
    COPYDATASTRUCT cds{9, sizeof packet, packet};
    EXPECT_EQ(SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 77);
    EXPECT_EQ(g_seen.copies.load(), 1);
    EXPECT_EQ(g_seen.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(g_seen.dwData, 9u);
    EXPECT_EQ(g_seen.data, std::vector<BYTE>(packet, packet + sizeof packet));
    DestroyWindow(window);
}

// The receiving side: a thread that owns a window and looks at its queue
// only by peeking, as a component does while it polls for a packet.
TEST_F(WindowTest, CopyDataSentFromAnotherThreadWaitsForTheOwnerAndRunsOnItsThread) {
    const std::string title = "Router" + std::to_string(GetCurrentProcessId()) + "-cross";
    std::promise<std::pair<HWND, DWORD>> created;
    std::atomic<bool> stop{false};
    std::thread receiver([&] {
        HWND window = CreateReceiver(title.c_str());
        created.set_value({window, GetCurrentThreadId()});
        MSG msg;
        while (!stop) {
            Sleep(10);
            PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE);
        }
        DestroyWindow(window);
    });
    auto ready = created.get_future();
    ASSERT_EQ(ready.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [window, owner] = ready.get();
    ASSERT_NE(window, nullptr);

    HWND found = FindWindowA(nullptr, title.c_str());
    EXPECT_EQ(found, window);
    EXPECT_TRUE(SetForegroundWindow(found));
    std::vector<BYTE> packet(25, 0xAB);
    COPYDATASTRUCT cds{3, static_cast<DWORD>(packet.size()), packet.data()};
    const LRESULT result = SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));

    EXPECT_EQ(result, 77) << "SendMessageA returns the procedure's answer";
    EXPECT_EQ(g_seen.copies.load(), 1) << "delivered once, before SendMessageA returned";
    EXPECT_EQ(g_seen.thread.load(), owner) << "the procedure runs on the window's own thread";
    EXPECT_NE(g_seen.thread.load(), GetCurrentThreadId());
    EXPECT_EQ(g_seen.data, packet);

    stop = true;
    receiver.join();
}

TEST_F(WindowTest, PostedMessagesWaitInTheQueueUntilTakenAndCopyDataCannotBePosted) {
    HWND window = CreateReceiver("posted");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 5, 6));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER, WM_USER + 10, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER, WM_USER + 10, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 6);
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_USER, WM_USER + 10, PM_REMOVE)) << "taken out already";

    COPYDATASTRUCT cds{0, 0, nullptr};
    EXPECT_FALSE(PostMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    DestroyWindow(window);
}

}  // namespace
