#include "version.h"

#include <cstring>

#include "errors.h"
#include "faults.h"
#include "machine_state.h"

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    constexpr DWORD kExtendedSize = 156;  // OSVERSIONINFOEXA
    if (hostwin::detail::FailIfInjected("GetVersionExA"))
        return FALSE;
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                            info->dwOSVersionInfoSize != kExtendedSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const hostwin::OsVersion v = hostwin::detail::CurrentOsVersion();
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platform;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::strncpy(info->szCSDVersion, v.servicePack.c_str(), sizeof(info->szCSDVersion) - 1);
    return TRUE;
}
