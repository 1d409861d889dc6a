// The folder a removal is given: the one path of the walk.  It must lie
// below a root, written in one of the forms that cannot name a volume's root
// in other words, and it is reached once, through the system's name for it.
#pragma once

#include <string>

#include "ioutils/removal_names.h"

// Whether a full narrow path names a folder below a drive or share root:
// "X:\name...", "\\server\share\name...", "\\?\X:\name..." or
// "\\?\UNC\server\share\name...", with no name that climbs (".", "..", empty)
// and no ":" below the prefix (a stream such as ":$I30:$INDEX_ALLOCATION"
// names the folder it belongs to, which may be the root).
bool IsFolderBelowRoot(const std::string& full);

// Whether path is in the verbatim form "\\?\...", which the system takes as
// given: no "." or ".." folded, no trailing dot or space trimmed.
bool IsVerbatimPath(const std::string& path);

// The NT family's own name for a full narrow path ("\??\C:\dir",
// "\??\UNC\server\share\dir"); empty when it has no drive or share form.
WideName NtPathOf(const std::string& full);
