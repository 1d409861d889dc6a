// nmshell — the shell's side of NMShell402.dll, for people and tests.
//
//   nmshell [--dll PATH] probe PATH...
//   nmshell [--dll PATH] menu PATH... [--flags N] [--show]
//   nmshell [--dll PATH] invoke OFFSET PATH...
//   nmshell activate OFFSET PATH...
#include <cstdio>
#include <string>
#include <vector>

#include "nmshell.h"
#include "shellhost/server_module.h"

namespace {

int Usage() {
    std::fputs(
        "usage: nmshell [--dll PATH] probe PATH...\n"
        "       nmshell [--dll PATH] menu PATH... [--flags N] [--show]\n"
        "       nmshell [--dll PATH] invoke OFFSET PATH...\n"
        "       nmshell activate OFFSET PATH...\n"
        "  probe   load the extension, hand it the paths and show what it captured\n"
        "  menu    build the context menu for the paths (uFlags N, default 0) and print it;\n"
        "          --show then opens it on the screen and invokes the command chosen there\n"
        "  invoke  build the menu, run the command at OFFSET (0-4), print its boxes and result\n"
        "  activate  as invoke, with the registered extension made by CoCreateInstance, then\n"
        "          released and freed with CoFreeUnusedLibraries (Windows build)\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dll = DefaultServerPath();
    if (args.size() >= 2 && args[0] == "--dll") {
        dll = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty())
        return Usage();
    const std::string verb = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (verb == "activate") {  // the registration names the DLL, not --dll
        const int rc = RunActivate(rest);
        return rc == 2 ? Usage() : rc;
    }

    ServerModule server;
    std::string error;
    if (!server.Load(dll, &error)) {
        std::fprintf(stderr, "nmshell: %s\n", error.c_str());
        return 1;
    }
    if (verb == "probe")
        return RunProbe(server, rest);
    if (verb == "menu")
        return RunMenu(server, rest);
    if (verb == "invoke") {
        const int rc = RunInvoke(server, rest);
        return rc == 2 ? Usage() : rc;
    }
    return Usage();
}
