// What counting the free clusters of a 1 GiB FAT32 volume costs beyond
// reading its FAT: CountFreeClustersFat against a baseline that reads the
// same FAT region through the volume device in the same 64-sector chunks,
// each with its own open, seek and close as the count's reads have.  The
// ratio of the two is the figure that counts.  Win32 calls only, so that the
// same source runs on the host and under Wine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "ioutils/disk_volume.h"
#include "platform/win32.h"
#include "volume_bench_machine.h"

namespace {

DiskVolume& Volume() {
    static DiskVolume volume;
    return volume;
}

void BM_CountFreeClustersFat(benchmark::State& state) {
    DWORD free = 0;
    for (auto _ : state) {
        free = Volume().CountFreeClustersFat();
        benchmark::DoNotOptimize(free);
    }
    if (free == 0)
        state.SkipWithError("no free clusters counted");
}

void BM_Baseline_ReadFatChunks(benchmark::State& state) {
    const DWORD reserved = Volume().GetFatReservedSectors();
    const DWORD fatSize = Volume().GetFatSize();
    const char device[] = {'\\', '\\', '.', '\\', nmbench::kVolumeDrive, ':', '\0'};
    std::vector<BYTE> buffer(64 * 512);
    for (auto _ : state) {
        for (DWORD done = 0; done < fatSize; done += 64) {
            const DWORD chunk = fatSize - done < 64 ? fatSize - done : 64;
            HANDLE h = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            LONG high = 0;
            SetFilePointer(h, static_cast<LONG>((reserved + done) * 512), &high, FILE_BEGIN);
            DWORD read = 0;
            ReadFile(h, buffer.data(), chunk * 512, &read, nullptr);
            CloseHandle(h);
            benchmark::DoNotOptimize(buffer.data());
        }
    }
}

BENCHMARK(BM_CountFreeClustersFat);
BENCHMARK(BM_Baseline_ReadFatChunks);

}  // namespace

int main(int argc, char** argv) {
    if (!nmbench::PrepareVolume() || Volume().Open(nmbench::kVolumeDrive) != 1 ||
        Volume().GetFileSystemType() != DiskVolume::kFat32) {
        std::fprintf(stderr, "nm_volume_bench: no FAT32 volume on %c:\n", nmbench::kVolumeDrive);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
