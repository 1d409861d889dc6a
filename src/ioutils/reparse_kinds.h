// Which reparse points the removal treats as links.  A link (symbolic link,
// junction, mount point) is removed as itself and never entered or emptied;
// a filter's reparse point on the user's own data goes like any other entry.
#pragma once

#include "platform/win32.h"

namespace removal {

// Reparse points that a file-system filter keeps on the user's own data:
// cloud placeholders (every sub-kind), deduplicated, compressed and
// hierarchical-storage files.
inline bool IsDataTag(DWORD tag) {
    if (IsReparseTagNameSurrogate(tag))
        return false;
    switch (tag) {
        case 0x80000013:  // deduplication
        case 0x80000017:  // compression overlay
        case 0xC0000004:  // hierarchical storage
        case 0x80000006:  // hierarchical storage, second kind
        case 0x80000007:  // single-instance storage
            return true;
        default:
            return (tag & 0xFFFF0FFF) == 0x9000001A;  // cloud files
    }
}

// A link is a reparse point whose tag names no filter's data: a name
// surrogate, but also an unknown tag and the tag 0 of a system that reports
// none, such as a Unix link under Wine.
inline bool IsLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsDataTag(tag);
}

}  // namespace removal
