// nmutil volume X: [--free] [--read-sector N] [--blank-label]
// Opens the drive's volume with DiskVolume and prints its type, access
// method and geometry, one "name: value" line each; --free adds the free
// clusters and bytes, --read-sector a hex dump of one sector, --blank-label
// blanks a FAT volume's boot-sector label and reads sector 0 back to say
// whether it is blank.  Exit status 1 when the volume is not identified, a
// read fails, the FAT or bitmap cannot be read whole, or the label stayed.
#include <cctype>
#include <cstddef>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ioutils/disk_volume.h"
#include "nmutil.h"

namespace {

struct VolumeOptions {
    char drive = 0;
    bool free = false;
    bool readSector = false;
    DWORD sector = 0;
    bool blankLabel = false;
};

bool ParseSector(const char* text, DWORD* sector) {
    if (text == nullptr || !std::isdigit(static_cast<unsigned char>(*text)))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull)
        return false;
    *sector = static_cast<DWORD>(value);
    return true;
}

bool Parse(int argc, char** argv, VolumeOptions* options) {
    if (argc < 1 || std::strlen(argv[0]) != 2 || argv[0][1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(argv[0][0])))
        return false;
    options->drive = argv[0][0];
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--free")
            options->free = true;
        else if (arg == "--blank-label")
            options->blankLabel = true;
        else if (arg == "--read-sector" && i + 1 < argc && ParseSector(argv[++i], &options->sector))
            options->readSector = true;
        else
            return false;
    }
    return true;
}

const char* TypeName(BYTE type) {
    switch (type) {
    case DiskVolume::kNtfs:
        return "NTFS";
    case DiskVolume::kFat12:
        return "FAT12";
    case DiskVolume::kFat16:
        return "FAT16";
    case DiskVolume::kFat32:
        return "FAT32";
    default:
        return "not identified";
    }
}

void PrintFigure(const char* name, ULONGLONG value) {
    if (value == DiskVolume::kNotApplicable)
        std::printf("%s: n/a\n", name);
    else
        std::printf("%s: %llu\n", name, static_cast<unsigned long long>(value));
}

void PrintGeometry(const DiskVolume& volume) {
    PrintFigure("bytes per sector", volume.GetBytesPerSector());
    PrintFigure("sectors per cluster", volume.GetSectorsPerCluster());
    PrintFigure("cluster size", volume.GetClusterSize());
    PrintFigure("reserved sectors", volume.GetReservedSectors());
    if (volume.GetFileSystemType() == DiskVolume::kNtfs) {
        PrintFigure("cluster count", volume.GetNtfsClusterCount());
        return;
    }
    PrintFigure("FAT size", volume.GetFatSize());
    PrintFigure("root entries", volume.GetRootEntryCount());
    std::printf("media descriptor: 0x%02X\n", volume.GetMediaDescriptor());
    PrintFigure("first root directory sector", volume.GetFirstRootDirSector());
    PrintFigure("root cluster", volume.GetRootCluster());
    PrintFigure("data start sector", volume.GetDataStartSector());
    PrintFigure("cluster count", volume.GetClusterCount());
}

// 32 lines of "OFFSET: 16 bytes", upper-case hex.
void PrintSector(const BYTE* sector, DWORD index) {
    std::printf("sector %lu:\n", static_cast<unsigned long>(index));
    for (DWORD line = 0; line < DiskVolume::kSectorSize; line += 16) {
        std::printf("%04lX:", static_cast<unsigned long>(line));
        for (DWORD i = 0; i < 16; ++i)
            std::printf(" %02X", sector[line + i]);
        std::printf("\n");
    }
}

// Sector 0 read back: is the label of this FAT type all blanks?
bool LabelIsBlank(DiskVolume& volume) {
    BYTE sector[DiskVolume::kSectorSize] = {};
    if (!volume.ReadSectors(sector, 0, 1))
        return false;
    const size_t at = volume.GetFileSystemType() == DiskVolume::kFat32 ? offsetof(Fat32BootSector, volumeLabel)
                                                                         : offsetof(FatBootSector, volumeLabel);
    for (size_t i = 0; i < sizeof FatBootSector{}.volumeLabel; ++i)
        if (sector[at + i] != ' ')
            return false;
    return true;
}

}  // namespace

int RunVolume(int argc, char** argv) {
    VolumeOptions options;
    if (!Parse(argc, argv, &options))
        return kUsageError;
    DiskVolume volume;
    const WORD identified = volume.Open(options.drive);
    std::printf("drive: %c:\n", volume.GetDriveLetter());
    std::printf("type: %s\n", TypeName(volume.GetFileSystemType()));
    std::printf("access method: %u\n", volume.GetAccessMethod());
    if (!identified)
        return 1;
    PrintGeometry(volume);
    int status = 0;
    if (options.free) {
        const DWORD free = volume.GetFreeClusters();
        if (volume.LastCountComplete()) {
            PrintFigure("free clusters", free);
            PrintFigure("free bytes", ULONGLONG{free} * volume.GetClusterSize());
        } else {
            std::printf("free clusters: cannot be read\n");
            status = 1;
        }
    }
    if (options.readSector) {
        BYTE sector[DiskVolume::kSectorSize] = {};
        if (volume.ReadSectors(sector, options.sector, 1)) {
            PrintSector(sector, options.sector);
        } else {
            std::printf("sector %lu: cannot be read\n", static_cast<unsigned long>(options.sector));
            status = 1;
        }
    }
    if (options.blankLabel) {
        if (volume.GetFileSystemType() == DiskVolume::kNtfs) {
            std::printf("label: unchanged (not a FAT volume)\n");
        } else {
            volume.BlankVolumeLabel();
            if (LabelIsBlank(volume)) {
                std::printf("label: blanked\n");
            } else {
                std::printf("label: not blanked (sector 0 was not written)\n");
                status = 1;
            }
        }
    }
    std::fflush(stdout);
    return status;
}
