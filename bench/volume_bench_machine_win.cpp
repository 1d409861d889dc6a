#include "platform/win32.h"
#include "volume_bench_machine.h"

namespace nmbench {

bool PrepareVolume() {
    const char root[] = {kVolumeDrive, ':', '\\', '\0'};
    return GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR;
}

}  // namespace nmbench
