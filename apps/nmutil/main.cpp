// nmutil — the support library's drive and file routines for maintainers.
// One row per subcommand drives the dispatch, the usage errors and --help.
#include <cstdio>
#include <cstring>

#include "nmutil.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;  // the arguments
    const char* help;
};

constexpr Subcommand kSubcommands[] = {
    {"drives", RunDrives, "", "removable, fixed and network drives: TEXT<TAB>KIND"},
    {"size", RunSize, "N...", "each byte count as the size text"},
    {"processes", RunProcesses, "", "the running processes' program names, in the system's order"},
    {"protected", RunProtected, "PATH...", "PATH<TAB>yes, or PATH<TAB>no reason R"},
    {"remove", RunRemove, "[--files-only] FOLDER", "remove the folder's contents; prints removed: yes|no and the log records"},
    {"shortcut", RunShortcut, "FILE...", "FILE<TAB>TARGET of each shortcut (empty when none)"},
    {"watch-log", RunWatchLog, "FOLDER TEXT", "append TEXT to FOLDER\\nmwatchlog.txt; prints written: yes|no"},
    {"clean-log", RunCleanLog, "X: quick|deep",
     "log a clean of drive X started an hour ago in the product's NMCleaningLog.txt; prints logged"},
    {"volume", RunVolume, "X: [--free] [--read-sector N] [--blank-label]",
     "file-system type, access method and geometry; free clusters, one sector's hex dump, blank FAT label"},
};

void PrintHelp() {
    std::puts("usage: nmutil SUBCOMMAND [ARGS]");
    for (const Subcommand& s : kSubcommands)
        std::printf("  nmutil %s%s%s\n      %s\n", s.name, *s.usage ? " " : "", s.usage, s.help);
}

int UsageError(const Subcommand* s) {
    if (s != nullptr)
        std::fprintf(stderr, "usage: nmutil %s%s%s\n", s->name, *s->usage ? " " : "", s->usage);
    else
        std::fputs("usage: nmutil SUBCOMMAND [ARGS] (nmutil --help lists them)\n", stderr);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintHelp();
        return 0;
    }
    if (argc < 2)
        return UsageError(nullptr);
    for (const Subcommand& s : kSubcommands) {
        if (std::strcmp(argv[1], s.name) == 0) {
            const int status = s.run(argc - 2, argv + 2);
            return status == kUsageError ? UsageError(&s) : status;
        }
    }
    return UsageError(nullptr);
}
