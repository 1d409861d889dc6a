#include "ioutils/os_class.h"

#include "platform/win32.h"

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
