#include <memory>

#include "hostwin/machine.h"
#include "support/raw_volume_drive.h"
#include "support/volume_image.h"

namespace nmtest {

char RawVolumeDrive() {
    static std::unique_ptr<ImageFile> image;
    hostwin::Machine::Reset();
    image = std::make_unique<ImageFile>(2880);
    AddImageDrive('R', "FAT", image->path());
    return 'R';
}

}  // namespace nmtest
