// nmutil SUBCOMMAND ARGS...: one row per subcommand drives dispatch and help.
#include <cstdio>
#include <cstring>

#include "nmutil.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

constexpr Subcommand kSubcommands[] = {
    {"volume", RunVolume, "volume X: [--free] [--read-sector N] [--blank-label]"},
};

void PrintUsage(FILE* out) {
    for (const Subcommand& s : kSubcommands)
        std::fprintf(out, "usage: nmutil %s\n", s.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc >= 2)
        for (const Subcommand& s : kSubcommands)
            if (std::strcmp(argv[1], s.name) == 0)
                return s.run(argc - 1, argv + 1);
    PrintUsage(stderr);
    return 2;
}
