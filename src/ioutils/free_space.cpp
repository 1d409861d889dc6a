#include "ioutils/free_space.h"

#include <cstdio>

#include "ioutils/extended_space_query.h"
#include "ioutils/os_class.h"
#include "logs/action_log.h"

namespace {

constexpr char kMissingAction[] = "Getting amount of free space on drive.";
constexpr char kMissingProblem[] = "Failed to load free space function.";
// "acount" is how the product has always logged it.
constexpr char kCallFailedAction[] = "Getting acount of free space on drive.";
constexpr char kCallFailedProblem[] = "Call to GetDiskFreeSpaceEx failed: %d";

ULONGLONG FreeSpaceFromExtendedCall(const char* root, ULONGLONG* totalSize) {
    ExtendedSpace space;
    switch (QueryExtendedSpace(root, &space)) {
    case ExtendedSpaceResult::kOk:
        if (totalSize != nullptr)
            *totalSize = space.total;
        return space.freeToCaller;
    case ExtendedSpaceResult::kNoExtendedCall:
        g_ActionLog.AddEntry(root, kMissingAction, kMissingProblem);
        break;
    case ExtendedSpaceResult::kCallFailed: {
        char problem[100] = {};
        std::snprintf(problem, sizeof problem, kCallFailedProblem, static_cast<int>(space.error));
        g_ActionLog.AddEntry(root, kCallFailedAction, problem);
        break;
    }
    case ExtendedSpaceResult::kNoKernel:
        break;
    }
    return kUnmeasured;
}

// The first Windows 95 release has only the cluster query.  Its free bytes
// are multiplied in 32 bits, as the product always has; the total in 64.
ULONGLONG FreeSpaceFromClusterCall(const char* root, ULONGLONG* totalSize) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return kUnmeasured;
    if (totalSize != nullptr)
        *totalSize = ULONGLONG{sectorsPerCluster} * bytesPerSector * totalClusters;
    const DWORD freeBytes = sectorsPerCluster * bytesPerSector * freeClusters;  // modulo 2^32
    return freeBytes;
}

}  // namespace

ULONGLONG IO_GetFreeSpaceSizeFromCall(char drive, ULONGLONG* totalSize) {
    char root[100] = {};
    std::snprintf(root, sizeof root, "%c:\\", drive);
    if (OsClass() >= 2)
        return FreeSpaceFromExtendedCall(root, totalSize);
    return FreeSpaceFromClusterCall(root, totalSize);
}
