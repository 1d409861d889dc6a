// What counting the free clusters of a 1 GiB FAT32 volume costs beyond
// reading its FAT: CountFreeClustersFat against a baseline that reads the
// same FAT region through the volume device in the same 64-sector chunks,
// each with its own open, seek and close as the count's reads have.  The
// ratio of the two is the figure that counts.  Win32 calls only, so that the
// same source runs on the host and under Wine.
#include <cstdio>
#include <vector>

#include "figure.h"
#include "ioutils/disk_volume.h"
#include "platform/win32.h"
#include "volume_bench_machine.h"

namespace {

constexpr int kPairs = 101;
constexpr int kWarmupPairs = 2;

DiskVolume& Volume() {
    static DiskVolume volume;
    return volume;
}

double CountUs() {
    const auto start = nmbench::Clock::now();
    const DWORD free = Volume().CountFreeClustersFat();
    const double us = nmbench::MicrosecondsSince(start);
    return free == 0 ? -1 : us;
}

double ReadFatChunksUs() {
    const DWORD reserved = Volume().GetFatReservedSectors();
    const DWORD fatSize = Volume().GetFatSize();
    const char device[] = {'\\', '\\', '.', '\\', nmbench::kVolumeDrive, ':', '\0'};
    std::vector<BYTE> buffer(64 * 512);
    const auto start = nmbench::Clock::now();
    DWORD total = 0;
    for (DWORD done = 0; done < fatSize; done += 64) {
        const DWORD chunk = fatSize - done < 64 ? fatSize - done : 64;
        HANDLE h = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        LONG high = 0;
        SetFilePointer(h, static_cast<LONG>((reserved + done) * 512), &high, FILE_BEGIN);
        DWORD read = 0;
        ReadFile(h, buffer.data(), chunk * 512, &read, nullptr);
        CloseHandle(h);
        total += read;
    }
    const double us = nmbench::MicrosecondsSince(start);
    return total == fatSize * 512 ? us : -1;
}

}  // namespace

int main() {
    if (!nmbench::PrepareVolume() || Volume().Open(nmbench::kVolumeDrive) != 1 ||
        Volume().GetFileSystemType() != DiskVolume::kFat32) {
        std::printf("FAT count: no FAT32 volume on %c:\n", nmbench::kVolumeDrive);
        return 1;
    }
    const bool ok = nmbench::MeasurePairs({"FAT count, 1 GiB FAT32", nmbench::Ratio::Speed, "us",
                                           "reading the same FAT chunks", nmbench::kVolumeGoal, "per count"},
                                          kPairs, kWarmupPairs, CountUs, ReadFatChunksUs);
    return ok ? 0 : 1;
}
