// DiskVolume: identification and the boot-sector geometry.
#include "ioutils/disk_volume.h"

#include <cstdio>
#include <cstring>

#include "ioutils/os_class.h"

namespace {

constexpr char kNtfsName[] = "NTFS";
constexpr DWORD kLargestFat12Volume = 32679;  // sectors in the 16-bit field
constexpr size_t kTypeTextLength = 5;         // "FAT12", "FAT16", "FAT32"

// A type field cut after its fifth character, so that "FAT32   " is "FAT32".
void CutTypeText(char (&field)[8]) { field[kTypeTextLength] = '\0'; }
bool TypeTextIs(const char (&field)[8], const char* name) { return std::strncmp(field, name, kTypeTextLength + 1) == 0; }

// A boot sector is outside input: one whose geometry cannot describe a FAT
// volume (no sector size, no cluster size, no FAT, or data that would start
// past the volume's end) is not identified.
bool PlausibleFat(WORD bytesPerSector, BYTE sectorsPerCluster, BYTE fats, ULONGLONG dataStart, DWORD totalSectors) {
    return bytesPerSector != 0 && sectorsPerCluster != 0 && fats != 0 && dataStart <= totalSectors;
}

}  // namespace

DiskVolume::DiskVolume()
    : fatBoot{}, fat32Boot{}, ntfsBoot{}, driveLetter(0), fileSystemType(kNotIdentified), accessMethod(0),
      firstDataSector(0) {}

WORD DiskVolume::Open(char drive) {
    if (!IsCharAlphaA(drive))
        return 0;
    driveLetter = static_cast<char>(drive >= 'a' && drive <= 'z' ? drive - 'a' + 'A' : drive);
    return Identify();
}

WORD DiskVolume::Identify() {
    // A volume opened again must not keep what an earlier drive was.
    fileSystemType = kNotIdentified;
    firstDataSector = 0;
    accessMethod = static_cast<WORD>(OsClass());  // the classes are the methods

    BYTE sector[kSectorSize] = {};
    if (!ReadSectors(sector, 0, 1)) {
        if (accessMethod != kExtendedAccess && accessMethod != kExtendedAccessLater)
            return 0;
        // Some Windows 95/98 drives refuse extended access: interrupt 25h from
        // now on for this volume.
        accessMethod = kInterrupt25;
        if (!ReadSectors(sector, 0, 1))
            return 0;
    }
    std::memcpy(&ntfsBoot, sector, sizeof ntfsBoot);
    std::memcpy(&fatBoot, sector, sizeof fatBoot);
    std::memcpy(&fat32Boot, sector, sizeof fat32Boot);

    char root[4] = {};
    std::snprintf(root, sizeof root, "%c:\\", driveLetter);
    char fileSystem[256] = {};
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem))
        return 0;
    if (_stricmp(fileSystem, kNtfsName) == 0) {
        fileSystemType = kNtfs;
        firstDataSector = 0;
        return 1;
    }
    // Windows reports the FAT names in upper case; only NTFS is taken in any case.
    if (std::strcmp(fileSystem, "FAT") != 0 && std::strcmp(fileSystem, "FAT16") != 0 &&
        std::strcmp(fileSystem, "FAT32") != 0)
        return 0;
    CutTypeText(fatBoot.fileSystemType);
    CutTypeText(fat32Boot.fileSystemType);
    return IdentifyFat() ? 1 : 0;
}

bool DiskVolume::IdentifyFat() {
    if (TypeTextIs(fat32Boot.fileSystemType, "FAT32")) {
        const ULONGLONG dataStart =
            ULONGLONG{fat32Boot.sectorsPerFat32} * fat32Boot.numberOfFats + fat32Boot.reservedSectors;
        if (!PlausibleFat(fat32Boot.bytesPerSector, fat32Boot.sectorsPerCluster, fat32Boot.numberOfFats, dataStart,
                          fat32Boot.totalSectors32))
            return false;
        fileSystemType = kFat32;
        firstDataSector = static_cast<DWORD>(dataStart);
        return true;
    }
    BYTE type = kFat16;
    if (!TypeTextIs(fatBoot.fileSystemType, "FAT16")) {
        if (fatBoot.totalSectors16 < 1 || fatBoot.totalSectors16 > kLargestFat12Volume ||
            fatBoot.bytesPerSector != kSectorSize || fatBoot.numberOfFats != 2)
            return false;
        type = kFat12;
    }
    if (fatBoot.bytesPerSector == 0)
        return false;
    const ULONGLONG dataStart = ULONGLONG{fatBoot.sectorsPerFat16} * fatBoot.numberOfFats +
                                DWORD{fatBoot.rootEntryCount} * 32 / fatBoot.bytesPerSector + fatBoot.reservedSectors;
    const DWORD total = fatBoot.totalSectors16 != 0 ? fatBoot.totalSectors16 : fatBoot.totalSectors32;
    if (!PlausibleFat(fatBoot.bytesPerSector, fatBoot.sectorsPerCluster, fatBoot.numberOfFats, dataStart, total))
        return false;
    fileSystemType = type;
    firstDataSector = static_cast<DWORD>(dataStart);
    return true;
}

// --- geometry: the view that matches the type

WORD DiskVolume::GetBytesPerSector() const {
    if (fileSystemType == kNtfs)
        return ntfsBoot.bytesPerSector;
    return fileSystemType == kFat32 ? fat32Boot.bytesPerSector : fatBoot.bytesPerSector;
}

BYTE DiskVolume::GetSectorsPerCluster() const {
    if (fileSystemType == kNtfs)
        return ntfsBoot.sectorsPerCluster;
    return fileSystemType == kFat32 ? fat32Boot.sectorsPerCluster : fatBoot.sectorsPerCluster;
}

DWORD DiskVolume::GetClusterSize() const { return DWORD{GetBytesPerSector()} * GetSectorsPerCluster(); }

WORD DiskVolume::GetReservedSectors() const {
    return fileSystemType == kNtfs ? ntfsBoot.reservedSectors : GetFatReservedSectors();
}

WORD DiskVolume::GetFatReservedSectors() const {
    return fileSystemType == kFat32 ? fat32Boot.reservedSectors : fatBoot.reservedSectors;
}

DWORD DiskVolume::GetFatSize() const {
    return fileSystemType == kFat32 ? fat32Boot.sectorsPerFat32 : fatBoot.sectorsPerFat16;
}

WORD DiskVolume::GetRootEntryCount() const {
    return fileSystemType == kFat32 ? fat32Boot.rootEntryCount : fatBoot.rootEntryCount;
}

BYTE DiskVolume::GetMediaDescriptor() const {
    if (fileSystemType == kNtfs)
        return ntfsBoot.mediaDescriptor;
    return fileSystemType == kFat32 ? fat32Boot.mediaDescriptor : fatBoot.mediaDescriptor;
}

DWORD DiskVolume::GetFirstRootDirSector() const {
    if (fileSystemType == kFat32 || fileSystemType == kNtfs)
        return kNotApplicable;
    return fatBoot.reservedSectors + DWORD{fatBoot.numberOfFats} * fatBoot.sectorsPerFat16;
}

DWORD DiskVolume::GetRootCluster() const {
    return fileSystemType == kFat32 ? fat32Boot.rootCluster : kNotApplicable;
}

DWORD DiskVolume::TotalSectors() const {
    if (fileSystemType == kFat32)
        return fat32Boot.totalSectors32;
    return fatBoot.totalSectors16 != 0 ? fatBoot.totalSectors16 : fatBoot.totalSectors32;
}

// No clusters (rather than a wrapped count) when the data would start past
// the volume's end or the cluster size is 0.
DWORD DiskVolume::GetClusterCount() const {
    const DWORD total = TotalSectors();
    const BYTE perCluster = GetSectorsPerCluster();
    if (perCluster == 0 || firstDataSector > total)
        return 0;
    return (total - firstDataSector) / perCluster;
}

ULONGLONG DiskVolume::GetNtfsClusterCount() const {
    if (ntfsBoot.sectorsPerCluster == 0 || ntfsBoot.totalSectors < ntfsBoot.reservedSectors)
        return 0;
    return (ntfsBoot.totalSectors - ntfsBoot.reservedSectors) / ntfsBoot.sectorsPerCluster;
}

// --- clusters and the label

DWORD DiskVolume::ReadCluster(void* buffer, DWORD cluster) {
    const BYTE perCluster = GetSectorsPerCluster();
    ULONGLONG first;
    if (fileSystemType == kNtfs) {
        first = ULONGLONG{cluster} * perCluster;
    } else {
        if (cluster < 2)  // clusters 0 and 1 hold no data on FAT
            return 0;
        first = ULONGLONG{cluster - 2} * perCluster + firstDataSector;
    }
    // Sector numbers are 32-bit: a cluster beyond them cannot be reached.
    if (perCluster == 0 || first > 0xFFFFFFFFull)
        return 0;
    return ReadSectors(buffer, static_cast<DWORD>(first), perCluster);
}

DWORD DiskVolume::GetFreeClusters() {
    return fileSystemType == kNtfs ? CountFreeClustersNtfs() : CountFreeClustersFat();
}

void DiskVolume::BlankVolumeLabel() {
    size_t labelOffset;
    if (fileSystemType == kFat12 || fileSystemType == kFat16)
        labelOffset = offsetof(FatBootSector, volumeLabel);
    else if (fileSystemType == kFat32)
        labelOffset = offsetof(Fat32BootSector, volumeLabel);
    else
        return;
    BYTE sector[kSectorSize];
    if (!ReadSectors(sector, 0, 1))
        return;
    std::memset(sector + labelOffset, ' ', sizeof fatBoot.volumeLabel);
    WriteSectors(sector, 0, 1);
}
