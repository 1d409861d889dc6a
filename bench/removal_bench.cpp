// Figures for the drive and file utilities, each a speed
// (figure.h: the baseline's time over ours) against a baseline measured in
// the same run:
//   IO_RecursiveRM of 2,000 files in 200 folders against the platform's
//   recursive delete of an identical tree (rm -rf on the host, cmd /c rd /s /q
//   on Windows), less that command's own start;
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
#include <cstdio>
#include <string>

#include "bench_machine.h"
#include "figure.h"
#include "ioutils/recursive_remove.h"
#include "ioutils/shortcut_target.h"
#include "platform/win32.h"
#include "support/shortcut_builder.h"

namespace {

using nmbench::Clock;
using nmbench::MillisecondsSince;

constexpr int kTopFolders = 20;
constexpr int kSubFolders = 9;  // 20 x (1 + 9) = 200 folders
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
// Pairs per figure: each pair of the removal builds two trees first.
constexpr int kRemovalPairs = 31;
constexpr int kDeepPairs = 61;
// A chain's removal takes seconds under Wine: few pairs, the median of them.
constexpr int kChainPairs = 3;
constexpr int kShortcutPairs = 401;
constexpr int kShortcutSample = 100;

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

// The time IO_RecursiveRM takes to empty folder, or -1 when it did not
// empty it whole; the folder itself goes afterwards.
double RemovalMs(const std::string& folder) {
    const auto start = Clock::now();
    const bool removed = IO_RecursiveRM(folder.c_str());
    const double ms = MillisecondsSince(start);
    const bool whole = removed && LeftEmpty(folder);
    RemoveDirectoryA(folder.c_str());
    return whole ? ms : -1.0;
}

// A chain of folders whose paths pass 260 characters many times over, removed
// whole: the removal reaches every level through its parent's handle.
bool DeepRemoval(const std::string& base) {
    const std::string deep = base + "\\deep", wide = base + "\\wide", chain = base + "\\chain";
    const auto made = [](const std::string& folder, auto&& make) {
        CreateDirectoryA(folder.c_str(), nullptr);
        return make(folder);
    };
    const auto deepTree = [](const std::string& f) { return nmbench::MakeDeepTree(f, kDeepLevels, kDeepNameLength); };
    const auto chainTree = [](const std::string& f) { return nmbench::MakeDeepTree(f, kChainLevels, kChainNameLength); };
    const int length = static_cast<int>(deep.size()) + kDeepLevels * (kDeepNameLength + 1) + 9;  // "\file.dat"
    char subject[160];
    std::snprintf(subject, sizeof subject, "removal, a tree %d levels deep of %d-character names (paths of %d characters)",
                  kDeepLevels, kDeepNameLength, length);
    bool ok = nmbench::MeasurePreparedPairs(
        {subject, nmbench::Ratio::Speed, "ms", "the same folders side by side", kDeepGoal, "removed whole"}, kDeepPairs,
        2, [&] { return made(deep, deepTree) && made(wide, MakeWideTree); }, [&] { return RemovalMs(deep); },
        [&] { return RemovalMs(wide); });

    // Per folder: the chain's time over its levels against the 40-level tree's.
    const auto perFolder = [](double ms, int levels) { return ms < 0 ? ms : ms / levels; };
    char chainSubject[96], against[80];
    std::snprintf(chainSubject, sizeof chainSubject, "removal, a chain of %d folders, per folder", kChainLevels);
    std::snprintf(against, sizeof against, "the tree %d levels deep, per folder", kDeepLevels);
    ok = nmbench::MeasurePreparedPairs(
             {chainSubject, nmbench::Ratio::Speed, "ms", against, kChainGoal, "removed whole"}, kChainPairs, 0,
             [&] { return made(chain, chainTree) && made(deep, deepTree); },
             [&] { return perFolder(RemovalMs(chain), kChainLevels); },
             [&] { return perFolder(RemovalMs(deep), kDeepLevels); }) &&
         ok;
    return ok;
}

bool Removal(const std::string& base) {
    const std::string ours = base + "\\rm-ours", theirs = base + "\\rm-baseline", nothing = base + "\\rm-nothing";
    return nmbench::MeasurePreparedPairs(
        {"removal, 2000 files in 200 folders", nmbench::Ratio::Speed, "ms", nmbench::kNativeRemoval,
         nmbench::kRemovalGoal},
        kRemovalPairs, 2, [&] { return BuildTree(ours) && BuildTree(theirs); },
        [&] { return RemovalMs(ours); },
        [&] {
            // The platform's delete starts a process whose start varies more
            // than the removal takes: the same command on a folder that is not
            // there, just before, is taken off.
            const auto idle = Clock::now();
            nmbench::RemoveTreeNatively(nothing);
            const double startup = MillisecondsSince(idle);
            const auto start = Clock::now();
            const bool removed = nmbench::RemoveTreeNatively(theirs);
            const double ms = MillisecondsSince(start);
            return removed ? ms - startup : -1.0;
        });
}

bool Shortcuts(const std::string& base) {
    const std::string folder = base + "\\links";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string target = "C:\\Program Files\\App\\app.exe";
    const std::string bytes = nmtest::BuildShortcut({target, "DATA", "", ""});
    for (int i = 0; i < kShortcuts; ++i)
        WriteSmallFile(folder + "\\s" + std::to_string(i) + ".lnk", bytes);
    const auto name = [&](int i) { return folder + "\\s" + std::to_string(i) + ".lnk"; };
    // A sample is the next 100 of the files, for the work and the baseline
    // alike: short enough that most pairs fit into one time slice.
    int workSample = 0, baselineSample = 0;
    const auto NextSample = [](int* sample) { return (*sample)++ % (kShortcuts / kShortcutSample) * kShortcutSample; };
    const bool ok = nmbench::MeasurePairs(
        {"ShortcutTarget, 1000 shortcut files", nmbench::Ratio::Speed, "ms", "reading their first 4096 bytes",
         kShortcutGoal, "per 100 files"},
        kShortcutPairs, 10,
        [&] {
            const int first = NextSample(&workSample);
            size_t found = 0;
            const auto start = Clock::now();
            for (int i = first; i < first + kShortcutSample; ++i)
                found += ShortcutTarget(name(i).c_str()) == target ? 1 : 0;
            const double ms = MillisecondsSince(start);
            return found == kShortcutSample ? ms : -1.0;
        },
        [&] {
            const int first = NextSample(&baselineSample);
            size_t read = 0;
            const auto start = Clock::now();
            for (int i = first; i < first + kShortcutSample; ++i) {
                HANDLE h = CreateFileA(name(i).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
                char buffer[4096];
                DWORD got = 0;
                ReadFile(h, buffer, sizeof buffer, &got, nullptr);
                CloseHandle(h);
                read += got > 0 ? 1 : 0;
            }
            const double ms = MillisecondsSince(start);
            return read == kShortcutSample ? ms : -1.0;
        });
    IO_RecursiveRM(folder.c_str());
    RemoveDirectoryA(folder.c_str());
    return ok;
}

}  // namespace

int main() {
    nmbench::PrepareMachine();
    const std::string base = nmbench::kScratchFolder;
    bool ok = Removal(base);
    ok = DeepRemoval(base) && ok;
    ok = Shortcuts(base) && ok;
    return ok ? 0 : 1;
}
