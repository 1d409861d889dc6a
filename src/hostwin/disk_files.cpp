// Files on the simulated drives: to be built with the drives area.
#include "errors.h"
#include "files_internal.h"

namespace hostwin::detail {

HANDLE OpenDiskFile(const std::string&, DWORD, DWORD, DWORD, DWORD, DWORD* error) {
    *error = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

bool ResolveHostPath(const std::string&, std::string*, DWORD* error) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
}

}  // namespace hostwin::detail
