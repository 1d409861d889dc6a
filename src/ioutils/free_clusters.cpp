// DiskVolume's free-cluster counts: the file allocation table read in
// 64-sector chunks, or the NTFS volume bitmap asked for page by page.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ioutils/disk_volume.h"
#include "ioutils/file_handle.h"

namespace {

constexpr DWORD kFatChunkSectors = 64;
constexpr DWORD kFatChunkBytes = kFatChunkSectors * DiskVolume::kSectorSize;  // 32,768

constexpr char kNtdll[] = "ntdll.dll";
constexpr char kFsControlExport[] = "NtFsControlFile";
constexpr char kNoFsControl[] = "Could not find NtFsControlFile entry point in NTDLL.DLL\n";
constexpr ULONG kFsctlGetVolumeBitmap = 0x9006F;
constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusPending = 0x103;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr ULONGLONG kBitmapBitsPerPage = 32768;

struct NtIoStatusBlock {
    union {
        LONG Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// The I/O status block travels as an untyped pointer, as ntdll's exports
// are declared nowhere the library can include.
using NtFsControlFileFn = LONG(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, PVOID, ULONG, PVOID, ULONG, PVOID, ULONG);

// FSCTL_GET_VOLUME_BITMAP's answer: where the page starts, how many clusters
// remain from there, and one page of their bits.
struct VolumeBitmapPage {
    LONGLONG startingCluster;
    LONGLONG bitmapSize;
    BYTE bits[kBitmapBitsPerPage / 8];
};
static_assert(sizeof(VolumeBitmapPage) == 4112);

DWORD ClearBits(const BYTE* bits, ULONGLONG count) {
    DWORD clear = 0;
    const ULONGLONG wholeBytes = count / 8;
    for (ULONGLONG i = 0; i < wholeBytes; ++i)
        clear += 8 - std::popcount(static_cast<unsigned>(bits[i]));
    for (ULONGLONG i = wholeBytes * 8; i < count; ++i)
        clear += (bits[i / 8] >> (i % 8) & 1) == 0;
    return clear;
}

// The zero entries of a FAT16 or FAT32 chunk holding the table's bytes
// [chunkStart, chunkEnd), from *entry up to lastEntry; *entry moves past them.
template <typename Entry>
DWORD CountZeroEntries(const BYTE* chunk, ULONGLONG chunkStart, ULONGLONG chunkEnd, ULONGLONG lastEntry,
                       ULONGLONG* entry) {
    const ULONGLONG end = std::min(lastEntry + 1, chunkEnd / sizeof(Entry));
    DWORD zero = 0;
    for (ULONGLONG e = *entry; e < end; ++e) {
        Entry value;
        std::memcpy(&value, chunk + (e * sizeof(Entry) - chunkStart), sizeof value);
        zero += value == 0;
    }
    *entry = std::max(*entry, end);
    return zero;
}

}  // namespace

DWORD DiskVolume::CountFreeClustersFat() {
    countComplete = false;
    const DWORD fatSize = GetFatSize();
    const DWORD reserved = GetFatReservedSectors();
    // A boot sector is outside input: a FAT said to reach past the volume's
    // end is not read at all, and counts nothing.
    if (ULONGLONG{reserved} + fatSize > TotalSectors())
        return 0;
    const ULONGLONG lastEntry = ULONGLONG{GetClusterCount()} + 1;
    std::vector<BYTE> buffer(kFatChunkBytes);
    const BYTE* fat = buffer.data();
    DWORD remaining = fatSize;
    ULONGLONG entry = 2;
    DWORD free = 0;
    BYTE carried = 0;  // FAT12: the last byte of the chunk before
    while (remaining != 0) {
        const DWORD chunk = std::min(remaining, kFatChunkSectors);
        const DWORD sectorsDone = fatSize - remaining;
        if (!ReadSectors(buffer.data(), reserved + sectorsDone, static_cast<WORD>(chunk)))
            return 0;
        // Byte offsets in the FAT where this chunk starts and ends.  Entries
        // are taken only from bytes this chunk really read.
        const ULONGLONG chunkStart = ULONGLONG{sectorsDone} * kSectorSize;
        const ULONGLONG chunkEnd = chunkStart + ULONGLONG{chunk} * kSectorSize;
        if (fileSystemType == kFat12) {
            // A 12-bit entry takes the bytes at and at + 1 (offsets in the
            // table); the one that straddles into this chunk has its first
            // byte in the last chunk's last byte.
            for (; entry <= lastEntry && entry * 3 / 2 + 1 < chunkEnd; ++entry) {
                const ULONGLONG at = entry * 3 / 2;
                const unsigned low = at < chunkStart ? carried : fat[at - chunkStart];
                const unsigned pair = low | fat[at + 1 - chunkStart] << 8;
                const unsigned value = (entry % 2 == 0) ? (pair & 0xFFF) : (pair >> 4);
                free += value == 0;
            }
            carried = fat[chunkEnd - 1 - chunkStart];
        } else if (fileSystemType == kFat32) {
            free += CountZeroEntries<DWORD>(fat, chunkStart, chunkEnd, lastEntry, &entry);
        } else {
            free += CountZeroEntries<WORD>(fat, chunkStart, chunkEnd, lastEntry, &entry);
        }
        remaining -= chunk;
    }
    countComplete = true;
    return free;
}

DWORD DiskVolume::CountFreeClustersNtfs() {
    countComplete = false;
    HMODULE ntdll = GetModuleHandleA(kNtdll);
    // Through void(*)() so that the compiler accepts the change of signature.
    const auto control = ntdll == nullptr ? nullptr
                                          : reinterpret_cast<NtFsControlFileFn>(reinterpret_cast<void (*)()>(
                                                GetProcAddress(ntdll, kFsControlExport)));
    if (control == nullptr) {
        std::fputs(kNoFsControl, stdout);
        return 0;
    }
    char name[8] = {};
    std::snprintf(name, sizeof name, "\\\\.\\%c:", driveLetter);
    FileHandle volume(
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!volume.valid())
        return 0;
    VolumeBitmapPage page;
    LONGLONG start = 0;
    DWORD free = 0;
    for (;;) {
        NtIoStatusBlock io{};
        LONG status = control(volume.get(), nullptr, nullptr, nullptr, &io, kFsctlGetVolumeBitmap, &start,
                              sizeof start, &page, sizeof page);
        if (status == kStatusPending) {
            WaitForSingleObject(volume.get(), INFINITE);
            status = io.Status;
        }
        if (status != kStatusSuccess && status != kStatusBufferOverflow)
            break;
        countComplete = status == kStatusSuccess;  // the last page
        const ULONGLONG bits =
            page.bitmapSize <= 0 ? 0 : std::min<ULONGLONG>(static_cast<ULONGLONG>(page.bitmapSize), kBitmapBitsPerPage);
        free += ClearBits(page.bits, bits);
        // A page that moves nothing forward would be asked for again and again.
        if (status != kStatusBufferOverflow || bits == 0)
            break;
        start = page.startingCluster + static_cast<LONGLONG>(bits);
    }
    return free;
}
