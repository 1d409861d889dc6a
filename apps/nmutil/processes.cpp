// nmutil processes.
#include <cstdio>
#include <string>
#include <vector>

#include "ioutils/running_processes.h"
#include "nmutil.h"

int RunProcesses(int argc, char** /*argv*/) {
    if (argc != 0)
        return kUsageError;
    std::vector<std::string> names;
    ListRunningProcesses(names);
    for (const std::string& name : names)
        std::puts(name.c_str());
    return 0;
}
