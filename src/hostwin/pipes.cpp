// Named pipes: to be built with the messaging area.
#include "errors.h"
#include "files_internal.h"

namespace hostwin::detail {

HANDLE OpenPipeClient(const std::string&, DWORD, DWORD* error) {
    *error = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

}  // namespace hostwin::detail
