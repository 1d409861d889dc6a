// nmshell menu --show on Windows: the menu opened as the shell opens a
// context menu.  A window of our own owns the popup (TrackPopupMenuEx needs
// an owner on this thread, and the chosen command gets it as the parent for
// anything it shows); TPM_RETURNCMD hands the choice back here instead of
// posting WM_COMMAND, and the chosen command is invoked by its offset.
#include <cstdio>

#include "box_watch.h"
#include "shellhost/hresult_text.h"
#include "show_menu.h"

namespace {

constexpr char kOwnerClass[] = "NmShellMenuOwner";
constexpr char kOwnerTitle[] = "nmshell menu";  // scripts find the window by this title
// The popup opens at a fixed point so that scripts know where to look for it;
// the owner sits low on the screen, clear of the menu and its submenu.
constexpr POINT kMenuAt = {64, 48};
constexpr RECT kOwnerRect = {16, 600, 336, 700};
constexpr UINT kTrackFlags = TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON;

class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kOwnerClass;
        registered_ = RegisterClassExA(&wc) != 0;
        if (!registered_)
            return;
        hwnd_ = CreateWindowExA(0, kOwnerClass, kOwnerTitle, WS_OVERLAPPEDWINDOW, kOwnerRect.left, kOwnerRect.top,
                                kOwnerRect.right - kOwnerRect.left, kOwnerRect.bottom - kOwnerRect.top, nullptr,
                                nullptr, wc.hInstance, nullptr);
    }
    ~OwnerWindow() {
        if (hwnd_ != nullptr)
            DestroyWindow(hwnd_);
        if (registered_)
            UnregisterClassA(kOwnerClass, GetModuleHandleA(nullptr));
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;

    HWND get() const { return hwnd_; }

private:
    bool registered_ = false;
    HWND hwnd_ = nullptr;
};

}  // namespace

bool CanShowMenu(std::string*) {
    return true;
}

int ShowMenu(IContextMenu* menu, HMENU hmenu, UINT idCmdFirst, UINT commandCount) {
    OwnerWindow owner;
    if (owner.get() == nullptr) {
        std::printf("CreateWindowExA: error %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    ShowWindow(owner.get(), SW_SHOWNORMAL);
    UpdateWindow(owner.get());
    // As the shell does: the menu takes the keyboard only from a foreground window.
    SetForegroundWindow(owner.get());

    std::printf("TrackPopupMenuEx at %ld,%ld, owner \"%s\"\n", static_cast<long>(kMenuAt.x),
                static_cast<long>(kMenuAt.y), kOwnerTitle);
    std::fflush(stdout);
    const BOOL chosen = TrackPopupMenuEx(hmenu, kTrackFlags, kMenuAt.x, kMenuAt.y, owner.get(), nullptr);
    // 0 is a dismissed menu; Wine answers 0xFFFFFFFE (-2) when a submenu that
    // was opened with Enter is dismissed.  Only an identifier of ours is a command.
    const UINT id = static_cast<UINT>(chosen);
    if (id < idCmdFirst || id - idCmdFirst >= commandCount) {
        std::printf("TrackPopupMenuEx: %d (nothing chosen)\n", static_cast<int>(chosen));
        return 0;
    }
    const UINT offset = id - idCmdFirst;
    std::printf("TrackPopupMenuEx: %u (command offset %u)\n", id, offset);
    std::fflush(stdout);

    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.hwnd = owner.get();
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    HRESULT hr;
    {
        BoxWatch boxes(BoxWatch::Answer::Person);  // a box stays up until the person answers it
        hr = menu->InvokeCommand(&info);
    }
    std::printf("InvokeCommand(%u): %s\n", offset, HresultText(hr).c_str());
    return 0;
}
