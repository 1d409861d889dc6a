#include "ioutils/free_space.h"

#include <cstdio>

#include "logs/action_log.h"

namespace {

constexpr char kKernelDll[] = "Kernel32.dll";
constexpr char kFreeSpaceExport[] = "GetDiskFreeSpaceExA";
constexpr char kLoadFailedText[] = "Failed to load DLL Kernel32.dll.";
constexpr char kLoadFailedTitle[] = "DLL Error";
constexpr char kMissingAction[] = "Getting amount of free space on drive.";
constexpr char kMissingProblem[] = "Failed to load free space function.";
// "acount" is how the product has always logged it.
constexpr char kCallFailedAction[] = "Getting acount of free space on drive.";
constexpr char kCallFailedProblem[] = "Call to GetDiskFreeSpaceEx failed: %d";

using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// 4: the NT family; 3, 2, 1: Windows 95/98/Me releases by the low 16 bits of
// the build number (1 also for anything unknown).
int OsClass() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    const DWORD build = info.dwBuildNumber & 0xFFFF;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return 4;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && build >= 3000)
        return 3;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && build > 1000)
        return 2;
    return 1;
}

// The extended query exists only from Windows 95 OSR2 on, so it is looked up
// at run time and the library still loads where it is missing.
ULONGLONG FreeSpaceFromExtendedCall(const char* root, ULONGLONG* totalSize) {
    HMODULE kernel = LoadLibraryA(kKernelDll);
    if (kernel == nullptr) {
        MessageBoxA(nullptr, kLoadFailedText, kLoadFailedTitle, MB_OK | MB_ICONERROR);
        return kUnmeasured;
    }
    ULONGLONG result = kUnmeasured;
    // Through void(*)() so that the compiler accepts the change of signature.
    const auto query = reinterpret_cast<GetDiskFreeSpaceExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, kFreeSpaceExport)));
    if (query == nullptr) {
        g_ActionLog.AddEntry(root, kMissingAction, kMissingProblem);
    } else {
        ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
        if (query(root, &freeToCaller, &total, &totalFree)) {
            result = freeToCaller.QuadPart;
            if (totalSize != nullptr)
                *totalSize = total.QuadPart;
        } else {
            char problem[100] = {};
            std::snprintf(problem, sizeof problem, kCallFailedProblem, static_cast<int>(GetLastError()));
            g_ActionLog.AddEntry(root, kCallFailedAction, problem);
        }
    }
    if (reinterpret_cast<UINT_PTR>(kernel) > 32)
        FreeLibrary(kernel);
    return result;
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
