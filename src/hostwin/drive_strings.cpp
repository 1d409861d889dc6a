#include <string>

#include "drives.h"
#include "errors.h"
#include "faults.h"

DWORD WINAPI GetLogicalDriveStringsA(DWORD nBufferLength, LPSTR lpBuffer) {
    if (hostwin::detail::FailIfInjected("GetLogicalDriveStringsA"))
        return 0;
    const DWORD drives = GetLogicalDrives();
    std::string roots;
    for (int i = 0; i < 26; ++i) {
        if (drives & (1u << i)) {
            roots += static_cast<char>('A' + i);
            roots += ":\\";
            roots += '\0';
        }
    }
    if (lpBuffer == nullptr || nBufferLength < roots.size() + 1)
        return static_cast<DWORD>(roots.size() + 1);
    roots.copy(lpBuffer, roots.size());
    lpBuffer[roots.size()] = '\0';
    return static_cast<DWORD>(roots.size());
}
