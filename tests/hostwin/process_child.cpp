// The program that the process tests start through CreateProcessA.  It
// reports what it was given to the file named by NM_CHILD_REPORT, waits when
// its command line says "wait", and exits with the number that ends its
// command line (0 when there is none).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/win32.h"

int main() {
    const std::string line = GetCommandLineA();
    if (const char* report = std::getenv("NM_CHILD_REPORT")) {
        // Written aside and renamed into place: a reader never sees half of it.
        const std::string partial = std::string(report) + ".partial";
        {
            std::ofstream out(partial, std::ios::trunc);
            const char* machine = std::getenv("HOSTWIN_MACHINE");
            out << line << '\n'
                << (machine ? machine : "(no machine)") << '\n'
                << (std::getenv("HOSTWIN_COMMAND_LINE") ? "variable left" : "variable taken") << '\n';
        }
        std::rename(partial.c_str(), report);
    }
    if (line.find(" wait") != std::string::npos)
        ::sleep(30);
    const size_t last = line.find_last_of(' ');
    return last == std::string::npos ? 0 : std::atoi(line.c_str() + last + 1);
}
