// Window classes, windows and the message queues of this process's threads.
//
// One lock guards everything; a thread that waits (a SendMessageA to
// another thread) sleeps on one condition that every change
// wakes.  Window procedures always run without the lock, so that they may
// call back in.
#include "windowing.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "clock.h"
#include "errors.h"
#include "processes.h"
#include "registry_store.h"
#include "threads.h"

namespace hostwin::detail {
namespace {

struct WindowClass {
    std::string name;
    ATOM atom;
    WNDPROC proc;
    HINSTANCE instance;
};

struct Window {
    std::string className;
    ATOM atom;
    std::string title;
    WNDPROC proc;
    DWORD thread;
    HWND parent;
};

// A message sent to a window of another thread, waiting for that thread.
struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool done = false;
    LRESULT result = 0;
};

struct ThreadQueue {
    std::deque<SentMessage*> sent;
    std::deque<MSG> posted;
};

struct WindowSystem {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<WindowClass> classes;
    std::map<HWND, Window> windows;
    std::vector<HWND> zOrder;  // top first: the newest window
    std::map<DWORD, ThreadQueue> queues;
    ULONG_PTR nextWindow = 0x10010;
    ATOM nextAtom = 0xC000;
};

// Never destroyed: threads may still use it while the process ends.
WindowSystem& System() {
    static auto* system = new WindowSystem;
    return *system;
}

using Lock = std::unique_lock<std::mutex>;

// A thread's queue lives as long as the thread.  When the thread ends, its
// windows go with it and whoever still waits for it is answered with 0.
struct QueueOwner {
    DWORD thread = 0;
    ~QueueOwner() {
        if (thread == 0)
            return;
        WindowSystem& s = System();
        Lock lock(s.mutex);
        auto& queue = s.queues[thread];
        for (SentMessage* m : queue.sent)
            m->done = true;
        s.queues.erase(thread);
        for (auto it = s.windows.begin(); it != s.windows.end();) {
            if (it->second.thread == thread) {
                std::erase(s.zOrder, it->first);
                it = s.windows.erase(it);
            } else {
                ++it;
            }
        }
        s.changed.notify_all();
    }
};
thread_local QueueOwner t_queue;

ThreadQueue& OwnQueue(WindowSystem& s) {
    if (t_queue.thread == 0)
        t_queue.thread = GetCurrentThreadId();
    return s.queues[t_queue.thread];
}

bool IsAtom(LPCSTR name) { return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0; }

bool ClassMatches(const WindowClass& c, LPCSTR name) {
    return IsAtom(name) ? c.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)) : SameName(c.name, name);
}

// A class of the instance, else one of another module (as Windows falls back
// to classes registered for every module).
const WindowClass* FindClass(WindowSystem& s, LPCSTR name, HINSTANCE instance) {
    const WindowClass* any = nullptr;
    for (const auto& c : s.classes) {
        if (!ClassMatches(c, name))
            continue;
        if (c.instance == instance)
            return &c;
        any = any ? any : &c;
    }
    return any;
}

Window* FindWindowRecord(WindowSystem& s, HWND hwnd) {
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? nullptr : &it->second;
}

LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        WindowSystem& s = System();
        Lock lock(s.mutex);
        Window* w = FindWindowRecord(s, hwnd);
        if (!w)
            return 0;
        proc = w->proc;
    }
    return proc(hwnd, message, wParam, lParam);
}

// Runs the procedures of the messages sent to this thread; called and
// returning with the lock held.
void DeliverSentMessages(WindowSystem& s, Lock& lock) {
    ThreadQueue* queue = &OwnQueue(s);
    while (!queue->sent.empty()) {
        SentMessage* m = queue->sent.front();
        queue->sent.pop_front();
        lock.unlock();
        const LRESULT result = CallProcedure(m->hwnd, m->message, m->wParam, m->lParam);
        lock.lock();
        m->result = result;
        m->done = true;
        s.changed.notify_all();
        queue = &OwnQueue(s);
    }
}

bool Matches(const MSG& m, HWND hwnd, UINT first, UINT last) {
    if (hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (m.hwnd != nullptr)
            return false;
    } else if (hwnd != nullptr && m.hwnd != hwnd) {
        return false;
    }
    return (first == 0 && last == 0) || (m.message >= first && m.message <= last);
}

// The first posted message that passes the filter, taken out when `remove`.
bool TakePosted(WindowSystem& s, MSG* out, HWND hwnd, UINT first, UINT last, bool remove) {
    auto& posted = OwnQueue(s).posted;
    auto it = std::find_if(posted.begin(), posted.end(), [&](const MSG& m) { return Matches(m, hwnd, first, last); });
    if (it == posted.end())
        return false;
    *out = *it;
    if (remove)
        posted.erase(it);
    return true;
}

bool Post(WindowSystem& s, DWORD thread, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto queue = s.queues.find(thread);
    if (queue == s.queues.end())
        return false;
    MSG m{hwnd, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
    queue->second.posted.push_back(m);
    s.changed.notify_all();
    return true;
}

// A message for a window of another thread: wait for that thread, serving
// the messages sent to this one meanwhile, as Windows does.
LRESULT SendToOtherThread(WindowSystem& s, Lock& lock, DWORD target, HWND hwnd, UINT message, WPARAM wParam,
                          LPARAM lParam) {
    COPYDATASTRUCT copy;
    std::vector<BYTE> data;
    if (message == WM_COPYDATA && lParam != 0) {
        copy = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (copy.lpData != nullptr && copy.cbData > 0) {
            const auto* bytes = static_cast<const BYTE*>(copy.lpData);
            data.assign(bytes, bytes + copy.cbData);
            copy.lpData = data.data();
        } else {
            copy.lpData = nullptr;
        }
        lParam = reinterpret_cast<LPARAM>(&copy);
    }
    SentMessage m{hwnd, message, wParam, lParam};
    OwnQueue(s);
    s.queues[target].sent.push_back(&m);
    s.changed.notify_all();
    while (!m.done) {
        DeliverSentMessages(s, lock);
        if (!m.done)
            s.changed.wait(lock);
    }
    return m.result;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXA) || lpwcx->lpszClassName == nullptr ||
        (!IsAtom(lpwcx->lpszClassName) && *lpwcx->lpszClassName == '\0')) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WindowSystem& s = System();
    Lock lock(s.mutex);
    for (const auto& c : s.classes)
        if (ClassMatches(c, lpwcx->lpszClassName) && c.instance == lpwcx->hInstance) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    const ATOM atom = s.nextAtom++;
    const std::string name = IsAtom(lpwcx->lpszClassName) ? std::string() : lpwcx->lpszClassName;
    s.classes.push_back(WindowClass{name, atom, lpwcx->lpfnWndProc, lpwcx->hInstance});
    return atom;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    const auto id = reinterpret_cast<ULONG_PTR>(lpCursorName);
    if (hInstance == nullptr && id >= 32512 && id <= 32651)
        return reinterpret_cast<HCURSOR>(0x10000 + id);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    WindowSystem& s = System();
    HWND hwnd;
    {
        Lock lock(s.mutex);
        const WindowClass* c = lpClassName ? FindClass(s, lpClassName, hInstance) : nullptr;
        if (c == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (hWndParent != nullptr && hWndParent != HWND_MESSAGE && !FindWindowRecord(s, hWndParent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        OwnQueue(s);
        hwnd = reinterpret_cast<HWND>(s.nextWindow);
        s.nextWindow += 4;
        s.windows[hwnd] = Window{c->name, c->atom, lpWindowName ? lpWindowName : "", c->proc, GetCurrentThreadId(),
                                 hWndParent};
        s.zOrder.insert(s.zOrder.begin(), hwnd);
    }
    CREATESTRUCTA cs{lpParam, hInstance, hMenu,       hWndParent,  nHeight,  nWidth,
                     Y,       X,         static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (!CallProcedure(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        CallProcedure(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    WindowSystem& s = System();
    {
        Lock lock(s.mutex);
        Window* w = FindWindowRecord(s, hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);  // only the owning thread destroys a window
            return FALSE;
        }
    }
    CallProcedure(hWnd, WM_DESTROY, 0, 0);
    CallProcedure(hWnd, WM_NCDESTROY, 0, 0);
    Lock lock(s.mutex);
    s.windows.erase(hWnd);
    std::erase(s.zOrder, hWnd);
    std::erase_if(OwnQueue(s).posted, [&](const MSG& m) { return m.hwnd == hWnd; });
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    return FindWindowRecord(s, hWnd) != nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_NCCREATE: return TRUE;
        case WM_CLOSE: DestroyWindow(hWnd); return 0;
        case WM_GETTEXT: return GetWindowTextA(hWnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
        default: return 0;
    }
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    for (HWND hwnd : s.zOrder) {
        const Window& w = s.windows[hwnd];
        if (w.parent != nullptr)  // children and message-only windows are not searched
            continue;
        if (lpClassName != nullptr && !(IsAtom(lpClassName)
                                            ? w.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(lpClassName))
                                            : SameName(w.className, lpClassName)))
            continue;
        if (lpWindowName != nullptr && !SameName(w.title, lpWindowName))
            continue;
        return hwnd;
    }
    return nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    // Nothing is shown here, so nothing comes to the front: only the window's
    // existence is checked.
    return FindWindowRecord(s, hWnd) != nullptr;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    const Window* w = FindWindowRecord(s, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpString == nullptr || nMaxCount <= 0)
        return 0;
    const size_t n = std::min(w->title.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpString, w->title.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    const Window* w = FindWindowRecord(s, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId)
        *lpdwProcessId = GetCurrentProcessId();
    return w->thread;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    const Window* w = FindWindowRecord(s, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const DWORD target = w->thread;
    if (target != GetCurrentThreadId()) {
        return SendToOtherThread(s, lock, target, hWnd, Msg, wParam, lParam);
    }
    lock.unlock();
    return CallProcedure(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_COPYDATA) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);  // its data must outlive the call: send it
        return FALSE;
    }
    WindowSystem& s = System();
    Lock lock(s.mutex);
    if (hWnd == nullptr) {
        OwnQueue(s);
        return Post(s, GetCurrentThreadId(), nullptr, Msg, wParam, lParam);
    }
    const Window* w = FindWindowRecord(s, hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return Post(s, w->thread, hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    WindowSystem& s = System();
    Lock lock(s.mutex);
    DeliverSentMessages(s, lock);  // whatever the filter, as Windows does
    return TakePosted(s, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}
