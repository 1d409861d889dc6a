#include <cstdlib>

#include "hostwin/machine.h"
#include "volume_bench_machine.h"

namespace nmbench {

// The simulated machine's reads are a file's, cheap beside counting 2
// million clusters: a floor.
const double kVolumeGoal = 0.3;

bool PrepareVolume() {
    const char* image = std::getenv("NM_BENCH_VOLUME_IMAGE");
    if (image == nullptr)
        return false;
    hostwin::Machine::Reset();
    hostwin::Machine::DriveSetup drive;
    drive.letter = kVolumeDrive;
    drive.fileSystem = "FAT32";
    hostwin::Machine::AddDrive(drive);
    return hostwin::Machine::AttachVolumeImage(kVolumeDrive, image);
}

}  // namespace nmbench
