// nmboxwatch: answers message boxes of other processes where nobody can see
// them (Wine without a display).  Prints "box: TITLE: TEXT" for each box it
// closes with OK; ends after --count boxes (default 1) or --timeout seconds
// (default 30), exit code 0 when all came.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string OneLine(const char* text) {
    std::string out;
    for (; *text; ++text)
        out += *text == '\n' ? std::string("\\n") : *text == '\r' ? std::string("\\r") : std::string(1, *text);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 1;
    DWORD timeoutMs = 30000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--count")
            count = std::atoi(argv[i + 1]);
        else if (arg == "--timeout")
            timeoutMs = static_cast<DWORD>(std::atoi(argv[i + 1])) * 1000;
    }
    std::printf("nmboxwatch ready\n");
    std::fflush(stdout);

    const DWORD start = GetTickCount();
    int seen = 0;
    while (seen < count && GetTickCount() - start < timeoutMs) {
        HWND box = FindWindowA("#32770", nullptr);
        if (box == nullptr) {
            Sleep(50);
            continue;
        }
        // A box is found while it is still being built: wait for its texts.
        char title[256] = "", text[1024] = "";
        for (int i = 0; i < 100; ++i) {
            GetWindowTextA(box, title, sizeof title);
            HWND label = GetDlgItem(box, 0xFFFF);
            if (title[0] != '\0' && label != nullptr && GetWindowTextA(label, text, sizeof text) > 0)
                break;
            Sleep(20);
        }
        std::printf("box: %s: %s\n", OneLine(title).c_str(), OneLine(text).c_str());
        std::fflush(stdout);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 100 && IsWindow(box); ++i)
            Sleep(20);
        ++seen;
    }
    return seen == count ? 0 : 1;
}
