// hostwin internals: which removable drives hold no medium (removable_media.cpp).
#pragma once

#include <string>

#include "base.h"

namespace hostwin::detail {

bool DriveHasMedium(char letter);
// ERROR_NOT_READY for a drive without a medium, after the system's "No Disk"
// box when the error mode lets the system report it.
DWORD NoMediumError(char letter);
void ApplyMediaSetting(const std::string& value);
void ResetMedia();

}  // namespace hostwin::detail
