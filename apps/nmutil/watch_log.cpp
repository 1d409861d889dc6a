// nmutil watch-log FOLDER TEXT
#include <cstdio>

#include "logs/watch_log.h"
#include "nmutil.h"

int RunWatchLog(int argc, char** argv) {
    if (argc != 2)
        return kUsageError;
    std::printf("written: %s\n", AppendWatchLog(argv[1], argv[0]) ? "yes" : "no");
    return 0;
}
