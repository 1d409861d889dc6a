#include <cstdlib>

#include "support/raw_volume_drive.h"

namespace nmtest {

char RawVolumeDrive() {
    const char* drive = std::getenv("NM_RAW_VOLUME_DRIVE");
    return drive != nullptr ? drive[0] : 0;
}

}  // namespace nmtest
