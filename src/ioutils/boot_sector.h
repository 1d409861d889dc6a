// The three readings of a volume's boot sector that DiskVolume keeps: the
// FAT12/FAT16 sector, the FAT32 sector and the NTFS sector, each as far as
// the product reads it.  Little-endian fields at their on-disk offsets.
#pragma once

#include <cstddef>

#include "platform/win32.h"

#pragma pack(push, 1)

struct FatBootSector {
    BYTE jump[3];
    char oemName[8];
    WORD bytesPerSector;
    BYTE sectorsPerCluster;
    WORD reservedSectors;
    BYTE numberOfFats;
    WORD rootEntryCount;
    WORD totalSectors16;
    BYTE mediaDescriptor;
    WORD sectorsPerFat16;
    WORD sectorsPerTrack;
    WORD numberOfHeads;
    DWORD hiddenSectors;
    DWORD totalSectors32;
    BYTE driveNumber;
    BYTE reserved1;
    BYTE bootSignature;
    DWORD volumeId;
    char volumeLabel[11];
    char fileSystemType[8];
};

struct Fat32BootSector {
    BYTE jump[3];
    char oemName[8];
    WORD bytesPerSector;
    BYTE sectorsPerCluster;
    WORD reservedSectors;
    BYTE numberOfFats;
    WORD rootEntryCount;
    WORD totalSectors16;
    BYTE mediaDescriptor;
    WORD sectorsPerFat16;
    WORD sectorsPerTrack;
    WORD numberOfHeads;
    DWORD hiddenSectors;
    DWORD totalSectors32;
    DWORD sectorsPerFat32;
    WORD extendedFlags;
    WORD fileSystemVersion;
    DWORD rootCluster;
    WORD fsInfoSector;
    WORD backupBootSector;
    BYTE reserved[12];
    BYTE driveNumber;
    BYTE reserved1;
    BYTE bootSignature;
    DWORD volumeId;
    char volumeLabel[11];
    char fileSystemType[8];
};

struct NtfsBootSector {
    BYTE jump[3];
    char oemName[8];
    WORD bytesPerSector;
    BYTE sectorsPerCluster;
    WORD reservedSectors;
    BYTE unused1[5];
    BYTE mediaDescriptor;
    WORD unused2;
    WORD sectorsPerTrack;
    WORD numberOfHeads;
    DWORD hiddenSectors;
    DWORD unused3;
    DWORD unused4;
    ULONGLONG totalSectors;
    ULONGLONG mftCluster;
    ULONGLONG mftMirrorCluster;
    signed char clustersPerFileRecord;
    BYTE unused5[3];
    signed char clustersPerIndexBuffer;
    BYTE unused6[3];
    ULONGLONG volumeSerial;
    DWORD checksum;
};

#pragma pack(pop)

static_assert(sizeof(FatBootSector) == 62);
static_assert(offsetof(FatBootSector, bytesPerSector) == 11 && offsetof(FatBootSector, sectorsPerCluster) == 13);
static_assert(offsetof(FatBootSector, reservedSectors) == 14 && offsetof(FatBootSector, numberOfFats) == 16);
static_assert(offsetof(FatBootSector, rootEntryCount) == 17 && offsetof(FatBootSector, totalSectors16) == 19);
static_assert(offsetof(FatBootSector, mediaDescriptor) == 21 && offsetof(FatBootSector, sectorsPerFat16) == 22);
static_assert(offsetof(FatBootSector, totalSectors32) == 32 && offsetof(FatBootSector, volumeLabel) == 43);
static_assert(offsetof(FatBootSector, fileSystemType) == 54);

static_assert(sizeof(Fat32BootSector) == 90);
static_assert(offsetof(Fat32BootSector, totalSectors32) == 32 && offsetof(Fat32BootSector, sectorsPerFat32) == 36);
static_assert(offsetof(Fat32BootSector, rootCluster) == 44 && offsetof(Fat32BootSector, volumeLabel) == 71);
static_assert(offsetof(Fat32BootSector, fileSystemType) == 82);

static_assert(sizeof(NtfsBootSector) == 84);
static_assert(offsetof(NtfsBootSector, bytesPerSector) == 11 && offsetof(NtfsBootSector, sectorsPerCluster) == 13);
static_assert(offsetof(NtfsBootSector, reservedSectors) == 14 && offsetof(NtfsBootSector, mediaDescriptor) == 21);
static_assert(offsetof(NtfsBootSector, totalSectors) == 40 && offsetof(NtfsBootSector, mftCluster) == 48);
static_assert(offsetof(NtfsBootSector, volumeSerial) == 72);
