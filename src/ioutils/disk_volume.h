// DiskVolume: raw access to one drive's volume below its file system.  It
// identifies the file system from the boot sector and the system's own
// report, exposes the boot-sector geometry, reads and writes sectors and
// clusters through the door the running Windows offers (the volume device on
// the NT family, vwin32's disk interrupts on Windows 95/98/Me), counts free
// clusters and blanks a FAT volume label.
#pragma once

#include "ioutils/boot_sector.h"
#include "platform/win32.h"

class DiskVolume {
public:
    // File-system type codes.
    static constexpr BYTE kNotIdentified = 0;
    static constexpr BYTE kNtfs = 1;
    static constexpr BYTE kFat12 = 12;
    static constexpr BYTE kFat16 = 16;
    static constexpr BYTE kFat32 = 32;

    // Access methods: 1 interrupts 25h/26h through vwin32, 2 and 3 extended
    // absolute disk access through vwin32, 4 the raw volume device.
    static constexpr WORD kInterrupt25 = 1;
    static constexpr WORD kExtendedAccess = 2;
    static constexpr WORD kExtendedAccessLater = 3;
    static constexpr WORD kVolumeDevice = 4;

    // The answer of the geometry calls that do not apply to the type.
    static constexpr DWORD kNotApplicable = 0xFFFFFFFF;
    static constexpr DWORD kSectorSize = 512;

    DiskVolume();

    // 1 when `drive` is a letter and its volume was identified, else 0.
    WORD Open(char drive);

    char GetDriveLetter() const { return driveLetter; }
    BYTE GetFileSystemType() const { return fileSystemType; }
    WORD GetAccessMethod() const { return accessMethod; }

    WORD GetBytesPerSector() const;
    BYTE GetSectorsPerCluster() const;
    DWORD GetClusterSize() const;
    WORD GetReservedSectors() const;
    // The same for the FAT types only: the FAT32 view on FAT32, else the FAT view.
    WORD GetFatReservedSectors() const;
    DWORD GetFatSize() const;
    WORD GetRootEntryCount() const;
    BYTE GetMediaDescriptor() const;
    DWORD GetFirstRootDirSector() const;
    DWORD GetRootCluster() const;
    DWORD GetDataStartSector() const { return firstDataSector; }
    DWORD GetClusterCount() const;
    ULONGLONG GetNtfsClusterCount() const;

    // `count` sectors of 512 bytes from `firstSector`; 1 on success, else 0.
    DWORD ReadSectors(void* buffer, DWORD firstSector, WORD count);
    DWORD WriteSectors(const void* buffer, DWORD firstSector, WORD count);
    // One cluster (sectors per cluster x 512 bytes) into `buffer`.
    DWORD ReadCluster(void* buffer, DWORD cluster);

    DWORD GetFreeClusters();
    DWORD CountFreeClustersFat();
    DWORD CountFreeClustersNtfs();
    // Whether the last count read the whole FAT or bitmap: a count that
    // could not is 0 or short, and says nothing of the volume.
    bool LastCountComplete() const { return countComplete; }

    // Free bytes for the caller on `drive`, or all bits set; never logged.
    static ULONGLONG GetFreeBytes(char drive);
    // Total and free-to-caller bytes of `drive`; both 0 unless it succeeds.
    static bool GetDiskSpace(char drive, ULONGLONG* totalBytes, ULONGLONG* freeBytes);

    void BlankVolumeLabel();
    // A box with the system's text for the thread's last error.
    static void ShowLastSystemError();

private:
    WORD Identify();
    bool IdentifyFat();
    DWORD TransferSectors(bool write, void* buffer, DWORD firstSector, WORD count);
    DWORD VolumeDeviceTransfer(bool write, void* buffer, DWORD firstSector, WORD count);
    DWORD ExtendedAccessTransfer(bool write, void* buffer, DWORD firstSector, WORD count);
    DWORD InterruptTransfer(bool write, void* buffer, DWORD firstSector, WORD count);
    DWORD TotalSectors() const;

    FatBootSector fatBoot;
    Fat32BootSector fat32Boot;
    NtfsBootSector ntfsBoot;
    char driveLetter;
    BYTE fileSystemType;
    WORD accessMethod;
    DWORD firstDataSector;
    bool countComplete = false;
};
