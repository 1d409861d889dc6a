// Self-timed figures for the drive and file utilities, each against a
// baseline of the platform's own doing the same work in the same run:
//   IO_RecursiveRM of 20,000 files in 2,000 folders, and of a chain of 40
//   folders with 20-character names (paths far past 260 characters), each
//   against the platform's recursive delete of an identical tree (rm -rf on
//   the host, cmd /c rd /s /q on Windows):
//     "removal, SITUATION: speed 0.93x rd /s /q (higher is better; goal at least 0.8)"
//   ShortcutTarget over 1,000 shortcut files against reading their first
//   4,096 bytes: "NAME: T ms, baseline B ms, speed ratio B/T".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_machine.h"
#include "ioutils/recursive_remove.h"
#include "ioutils/shortcut_target.h"
#include "platform/win32.h"
#include "support/shortcut_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTopFolders = 200;
constexpr int kSubFolders = 9;  // 200 x (1 + 9) = 2,000 folders
constexpr int kFilesPerFolder = 10;
constexpr int kShortcuts = 1000;
constexpr int kDeepLevels = 40;
constexpr int kDeepNameLength = 20;
constexpr double kRemovalGoal = 0.8;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool WriteSmallFile(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return true;
}

bool FillFolder(const std::string& folder) {
    if (!CreateDirectoryA(folder.c_str(), nullptr))
        return false;
    for (int f = 0; f < kFilesPerFolder; ++f)
        if (!WriteSmallFile(folder + "\\file" + std::to_string(f) + ".dat", "contents"))
            return false;
    return true;
}

bool BuildTree(const std::string& root) {
    CreateDirectoryA(root.c_str(), nullptr);
    for (int t = 0; t < kTopFolders; ++t) {
        const std::string top = root + "\\top" + std::to_string(t);
        if (!FillFolder(top))
            return false;
        for (int s = 0; s < kSubFolders; ++s)
            if (!FillFolder(top + "\\sub" + std::to_string(s)))
                return false;
    }
    return true;
}

void Report(const char* name, double ms, double baselineMs) {
    std::printf("%s: %.1f ms, baseline %.1f ms, speed ratio %.2f\n", name, ms, baselineMs,
                ms > 0 ? baselineMs / ms : 0.0);
}

void ReportRemoval(const char* situation, double ms, double baselineMs) {
    std::printf("removal, %s: speed %.2fx %s (higher is better; goal at least %.1f)\n", situation,
                ms > 0 ? baselineMs / ms : 0.0, nmbench::NativeRemovalName(), kRemovalGoal);
}

// Whether the folder is there and holds nothing.
bool LeftEmpty(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do
        empty = empty && (std::string(found.cFileName) == "." || std::string(found.cFileName) == "..");
    while (FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// A chain of folders whose paths pass 260 characters many times over, removed
// whole: the removal reaches every level through its parent's handle.
int DeepRemoval(const std::string& base) {
    const std::string ours = base + "\\deep-ours", theirs = base + "\\deep-baseline";
    CreateDirectoryA(ours.c_str(), nullptr);
    CreateDirectoryA(theirs.c_str(), nullptr);
    if (!nmbench::MakeDeepTree(ours, kDeepLevels, kDeepNameLength) ||
        !nmbench::MakeDeepTree(theirs, kDeepLevels, kDeepNameLength)) {
        std::puts("removal: cannot build the deep trees");
        return 1;
    }
    auto start = Clock::now();
    const bool removed = IO_RecursiveRM(ours.c_str()) && LeftEmpty(ours);
    const double ms = MsSince(start);
    start = Clock::now();
    // Counted only when the folder is really gone: a delete limited to 260
    // characters can answer success and leave the tree.
    const bool baseline =
        nmbench::RemoveTreeNatively(theirs) && GetFileAttributesA(theirs.c_str()) == INVALID_FILE_ATTRIBUTES;
    const double baselineMs = MsSince(start);
    RemoveDirectoryA(ours.c_str());
    if (!baseline && IO_RecursiveRM(theirs.c_str()))
        RemoveDirectoryA(theirs.c_str());
    const int length = static_cast<int>(ours.size()) + kDeepLevels * (kDeepNameLength + 1) + 9;  // "\file.dat"
    if (!removed) {
        std::printf("removal: the tree %d levels deep was not removed whole\n", kDeepLevels);
        return 1;
    }
    char situation[160];
    std::snprintf(situation, sizeof situation, "a tree %d levels deep of %d-character names, paths of %d characters",
                  kDeepLevels, kDeepNameLength, length);
    if (!baseline) {
        std::printf("removal, %s: removed whole in %.1f ms; %s failed on it\n", situation, ms,
                    nmbench::NativeRemovalName());
        return 0;
    }
    ReportRemoval(situation, ms, baselineMs);
    return 0;
}

int Removal(const std::string& base) {
    const std::string ours = base + "\\rm-ours", theirs = base + "\\rm-baseline";
    if (!BuildTree(ours) || !BuildTree(theirs)) {
        std::puts("removal: cannot build the trees");
        return 1;
    }
    auto start = Clock::now();
    const bool removed = IO_RecursiveRM(ours.c_str());
    const double ms = MsSince(start);
    start = Clock::now();
    const bool baseline = nmbench::RemoveTreeNatively(theirs);
    const double baselineMs = MsSince(start);
    RemoveDirectoryA(ours.c_str());
    if (!removed || !baseline) {
        std::printf("removal: failed (ours %d, baseline %d)\n", removed, baseline);
        return 1;
    }
    ReportRemoval("20000 files in 2000 folders", ms, baselineMs);
    return 0;
}

int Shortcuts(const std::string& base) {
    const std::string folder = base + "\\links";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string bytes = nmtest::BuildShortcut({"C:\\Program Files\\App\\app.exe", "DATA", "", ""});
    for (int i = 0; i < kShortcuts; ++i)
        WriteSmallFile(folder + "\\s" + std::to_string(i) + ".lnk", bytes);
    double best = 1e30, bestBaseline = 1e30;
    size_t found = 0;
    for (int run = 0; run < 5; ++run) {  // the fastest of five: load only ever adds time
        auto start = Clock::now();
        for (int i = 0; i < kShortcuts; ++i)
            found += ShortcutTarget((folder + "\\s" + std::to_string(i) + ".lnk").c_str()).size();
        best = std::min(best, MsSince(start));
        start = Clock::now();
        for (int i = 0; i < kShortcuts; ++i) {
            HANDLE h = CreateFileA((folder + "\\s" + std::to_string(i) + ".lnk").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            char buffer[4096];
            DWORD read = 0;
            ReadFile(h, buffer, sizeof buffer, &read, nullptr);
            CloseHandle(h);
            found += read > 0 ? 0 : 1;
        }
        bestBaseline = std::min(bestBaseline, MsSince(start));
    }
    IO_RecursiveRM(folder.c_str());
    RemoveDirectoryA(folder.c_str());
    if (found != 5u * kShortcuts * std::string("C:\\Program Files\\App\\app.exe").size()) {
        std::puts("shortcuts: wrong targets");
        return 1;
    }
    Report("ShortcutTarget of 1000 shortcut files", best, bestBaseline);
    return 0;
}

}  // namespace

int main() {
    nmbench::PrepareMachine();
    const std::string base = nmbench::kScratchFolder;
    int status = Removal(base);
    status |= DeepRemoval(base);
    status |= Shortcuts(base);
    return status;
}
