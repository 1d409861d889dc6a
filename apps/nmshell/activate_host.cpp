// The simulated machine has no COM registry: activation by class identifier
// needs the Windows build.
#include <cstdio>

#include "nmshell.h"

int RunActivate(const std::vector<std::string>& args) {
    if (args.empty())
        return 2;
    std::fputs("nmshell: activate needs the registered DLL: use the Windows build (nmshell.exe)\n", stderr);
    return 1;
}
