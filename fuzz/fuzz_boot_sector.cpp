// Any boot sector, with up to 64 sectors of volume behind it, under any of
// the system's file-system names: identification, every geometry figure,
// the FAT count, a cluster read and the label must stay inside their
// buffers and finish.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "ioutils/disk_volume.h"

namespace {

constexpr char kDrive = 'F';
constexpr size_t kMaxSectors = 65;
const char* const kFileSystems[] = {"FAT", "FAT16", "FAT32", "NTFS"};
volatile ULONGLONG g_sink;

// The folder of the drive and its image, this process's own, gone with it.
class Scratch {
public:
    Scratch() : path_(std::filesystem::temp_directory_path() / ("nm-fuzz-volume-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::string ScratchFolder() {
    static const Scratch folder;
    return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string image = ScratchFolder() + "/volume.img";
    std::vector<char> bytes(data + 1, data + std::min(size, kMaxSectors * 512 + 1));
    bytes.resize(std::max<size_t>(512, (bytes.size() + 511) / 512 * 512));
    std::ofstream(image, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    static bool ready = false;
    if (!ready) {
        hostwin::Machine::Reset();
        ready = true;
    }
    hostwin::Machine::DriveSetup drive;
    drive.letter = kDrive;
    drive.hostFolder = ScratchFolder();
    drive.fileSystem = kFileSystems[data[0] % 4];
    hostwin::Machine::AddDrive(drive);
    hostwin::Machine::AttachVolumeImage(kDrive, image);

    DiskVolume volume;
    if (volume.Open(kDrive)) {
        ULONGLONG sum = volume.GetBytesPerSector() + volume.GetSectorsPerCluster() + volume.GetClusterSize() +
                        volume.GetReservedSectors() + volume.GetFatSize() + volume.GetRootEntryCount() +
                        volume.GetMediaDescriptor() + volume.GetFirstRootDirSector() + volume.GetRootCluster() +
                        volume.GetDataStartSector() + volume.GetClusterCount() + volume.GetNtfsClusterCount();
        sum += volume.GetFreeClusters();
        std::vector<BYTE> cluster(size_t{volume.GetSectorsPerCluster()} * DiskVolume::kSectorSize + 1);
        sum += volume.ReadCluster(cluster.data(), 2 + data[0] / 4);
        volume.BlankVolumeLabel();
        g_sink = sum;  // the figures must really be computed
    }
    hostwin::Machine::ClearMessageBoxes();
    return 0;
}
