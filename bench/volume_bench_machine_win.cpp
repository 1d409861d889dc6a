#include "platform/win32.h"
#include "volume_bench_machine.h"

namespace nmbench {

// Through a real volume device the reads are the cost, and the count's own
// work should hardly show beside them.
const double kVolumeGoal = 0.9;

bool PrepareVolume() {
    const char root[] = {kVolumeDrive, ':', '\\', '\0'};
    return GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR;
}

}  // namespace nmbench
