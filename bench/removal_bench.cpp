// Self-timed figures for the drive and file utilities, each a speed
// (figure.h: the baseline's time over ours) against a baseline measured in
// the same run:
//   IO_RecursiveRM of 20,000 files in 2,000 folders against the platform's
//   recursive delete of an identical tree (rm -rf on the host, cmd /c rd /s /q
//   on Windows);
//   IO_RecursiveRM of a chain of 40 folders with 20-character names (paths far
//   past 260 characters), which must go whole, against the same removal of as
//   many folders side by side: depth must cost nothing (Wine's rd /s /q answers
//   success on such a tree and leaves it, so it is no baseline there);
//   IO_RecursiveRM of a chain of 1,000 folders, per folder, against the
//   40-level chain's cost per folder: each level costs the same, however deep
//   (at most twice as much is the goal: each entry's name is checked against
//   its folder's, which grows with the depth);
//   ShortcutTarget over 1,000 shortcut files against reading their first
//   4,096 bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_machine.h"
#include "figure.h"
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
// Depth may cost a quarter more than breadth: each level is one more open
// folder held, nothing else.
constexpr double kDeepGoal = 0.8;
// One-character names keep the chain's paths within what a Unix path can
// hold under Wine (2,000 characters and the drive's own).
constexpr int kChainLevels = 1000;
constexpr int kChainNameLength = 1;
constexpr double kChainGoal = 0.5;

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

// A shortcut's target comes from one read of the file's first block: it may
// take a quarter longer than that read alone.  (The removal's goal is the
// platform's: bench_machine.h.)
constexpr double kShortcutGoal = 0.8;

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

// As many folders as the deep tree has, each with its file, side by side.
bool MakeWideTree(const std::string& folder) {
    for (int level = 0; level < kDeepLevels; ++level) {
        std::string name = "level" + std::to_string(level) + "-";
        name.resize(static_cast<size_t>(kDeepNameLength), 'x');
        const std::string child = folder + "\\" + name;
        if (!CreateDirectoryA(child.c_str(), nullptr) || !WriteSmallFile(child + "\\file.dat", "contents"))
            return false;
    }
    return true;
}

// A chain of folders whose paths pass 260 characters many times over, removed
// whole: the removal reaches every level through its parent's handle.
int DeepRemoval(const std::string& base) {
    const std::string deep = base + "\\deep", wide = base + "\\wide";
    CreateDirectoryA(deep.c_str(), nullptr);
    CreateDirectoryA(wide.c_str(), nullptr);
    if (!nmbench::MakeDeepTree(deep, kDeepLevels, kDeepNameLength) || !MakeWideTree(wide)) {
        std::puts("removal: cannot build the deep and wide trees");
        return 1;
    }
    auto start = Clock::now();
    const bool removed = IO_RecursiveRM(deep.c_str()) && LeftEmpty(deep);
    const double ms = MsSince(start);
    start = Clock::now();
    const bool baseline = IO_RecursiveRM(wide.c_str()) && LeftEmpty(wide);
    const double baselineMs = MsSince(start);
    RemoveDirectoryA(deep.c_str());
    RemoveDirectoryA(wide.c_str());
    if (!removed || !baseline) {
        std::printf("removal: the tree %d levels deep was not removed whole (deep %d, side by side %d)\n",
                    kDeepLevels, removed, baseline);
        return 1;
    }
    const int length = static_cast<int>(deep.size()) + kDeepLevels * (kDeepNameLength + 1) + 9;  // "\file.dat"
    char subject[160];
    std::snprintf(subject, sizeof subject, "removal, a tree %d levels deep of %d-character names (paths of %d characters)",
                  kDeepLevels, kDeepNameLength, length);
    nmbench::PrintFigure({subject, nmbench::Ratio::Speed, ms, baselineMs, "ms", "the same folders side by side",
                          kDeepGoal, "removed whole"});

    const std::string chain = base + "\\chain";
    CreateDirectoryA(chain.c_str(), nullptr);
    if (!nmbench::MakeDeepTree(chain, kChainLevels, kChainNameLength)) {
        std::puts("removal: cannot build the chain");
        return 1;
    }
    start = Clock::now();
    const bool chainRemoved = IO_RecursiveRM(chain.c_str()) && LeftEmpty(chain);
    const double chainMs = MsSince(start);
    RemoveDirectoryA(chain.c_str());
    if (!chainRemoved) {
        std::printf("removal: the chain of %d folders was not removed whole\n", kChainLevels);
        return 1;
    }
    std::snprintf(subject, sizeof subject, "removal, a chain of %d folders, per folder", kChainLevels);
    char against[80];
    std::snprintf(against, sizeof against, "the tree %d levels deep, per folder", kDeepLevels);
    nmbench::PrintFigure({subject, nmbench::Ratio::Speed, chainMs / kChainLevels, ms / kDeepLevels, "ms", against,
                          kChainGoal, "removed whole"});
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
    nmbench::PrintFigure({"removal, 20000 files in 2000 folders", nmbench::Ratio::Speed, ms, baselineMs, "ms",
                          nmbench::kNativeRemoval, nmbench::kRemovalGoal});
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
    nmbench::PrintFigure({"ShortcutTarget, 1000 shortcut files", nmbench::Ratio::Speed, best, bestBaseline, "ms",
                          "reading their first 4096 bytes", kShortcutGoal});
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
