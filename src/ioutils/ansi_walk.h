// The removal's walk on Windows 95, 98 and Me, where the NT family's handle
// calls are missing: folders searched and entries deleted by their narrow
// paths.  There is no second user, no link and no hard link there; names are
// split only where the code page puts a separator.
#pragma once

#include <string>

#include "ioutils/handle_walker.h"

namespace removal {

bool AnsiRemoveContents(const std::string& folder, Depth depth);
// 1 when the file is gone or was emptied as a last resort.
DWORD AnsiDeleteFile(const std::string& path);

}  // namespace removal
