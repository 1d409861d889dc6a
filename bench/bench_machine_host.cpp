#include "bench_machine.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hostwin/hostwin.h"
#include "hostwin/machine.h"
#include "shellhost/host_drives.h"

namespace nmbench {

void PrepareMachine() {
    hostwin::Machine::Reset();
    std::vector<HostDrive> drives;
    for (const char* d = kFixedDrives; *d != '\0'; ++d)
        drives.push_back({*d, DRIVE_FIXED, 10ull << 30, 40ull << 30});
    AddHostDrives(drives);
}

const char kNativeRemoval[] = "rm -rf";
// Every call of ours goes through the simulated machine, the baseline's
// straight to the kernel (about 0.2 on a quiet machine): the floor only
// catches a walk grown twice as slow.
const double kRemovalGoal = 0.1;

bool RemoveTreeNatively(const std::string& folder) {
    const std::string host = hostwin::Machine::HostPath(folder);
    return !host.empty() && std::system(("rm -rf '" + host + "'").c_str()) == 0;
}

bool MakeDeepTree(const std::string& folder, int levels, int nameLength) {
    std::filesystem::path path = hostwin::Machine::HostPath(folder);
    if (path.empty())
        return false;
    std::error_code error;
    for (int level = 0; level < levels; ++level) {
        std::string name = "level" + std::to_string(level) + "-";
        name.resize(static_cast<size_t>(nameLength), 'x');
        path /= name;
        if (!std::filesystem::create_directories(path, error))
            return false;
        std::ofstream(path / "file.dat") << "contents";
    }
    return true;
}

}  // namespace nmbench
