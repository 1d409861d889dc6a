// DiskVolume's free-space questions: measured like IO_GetFreeSpaceSizeFromCall,
// but never written to the action log.
#include <cstdio>

#include "ioutils/disk_volume.h"
#include "ioutils/extended_space_query.h"
#include "ioutils/free_space.h"
#include "ioutils/os_class.h"

namespace {

struct ClusterSpace {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    // The old call's byte counts are 32-bit products (modulo 2^32).
    DWORD FreeBytes() const { return sectorsPerCluster * bytesPerSector * freeClusters; }
    DWORD TotalBytes() const { return sectorsPerCluster * bytesPerSector * totalClusters; }
};

bool QueryClusterSpace(const char* root, ClusterSpace* space) {
    return GetDiskFreeSpaceA(root, &space->sectorsPerCluster, &space->bytesPerSector, &space->freeClusters,
                             &space->totalClusters) != FALSE;
}

}  // namespace

ULONGLONG DiskVolume::GetFreeBytes(char drive) {
    char root[100] = {};
    std::snprintf(root, sizeof root, "%c:\\", drive);
    if (OsClass() >= 2) {
        ExtendedSpace space;
        return QueryExtendedSpace(root, &space) == ExtendedSpaceResult::kOk ? space.freeToCaller : kUnmeasured;
    }
    ClusterSpace space;
    return QueryClusterSpace(root, &space) ? space.FreeBytes() : kUnmeasured;
}

bool DiskVolume::GetDiskSpace(char drive, ULONGLONG* totalBytes, ULONGLONG* freeBytes) {
    if (totalBytes == nullptr || freeBytes == nullptr)
        return false;
    *totalBytes = 0;
    *freeBytes = 0;
    char root[100] = {};
    std::snprintf(root, sizeof root, "%c:\\", drive);
    if (OsClass() >= 2) {
        ExtendedSpace space;
        if (QueryExtendedSpace(root, &space) != ExtendedSpaceResult::kOk)
            return false;
        *totalBytes = space.total;
        *freeBytes = space.freeToCaller;
        return true;
    }
    ClusterSpace space;
    if (!QueryClusterSpace(root, &space))
        return false;
    *totalBytes = space.TotalBytes();
    *freeBytes = space.FreeBytes();
    return true;
}
