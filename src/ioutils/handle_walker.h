// The removal's walk on the NT family.  Only the folder a caller names is a
// path; everything below it is reached through its parent folder's open
// handle by its exact UTF-16 name, checked through its own handle and deleted
// through that same handle.  So nothing the walk lists can lead it elsewhere:
// not a name that the ANSI code page shows as "..\x" or "/", not a trailing
// dot or space, not a link (removed as itself, never entered), not a folder
// renamed or swapped for a link while the walk is inside it (each folder on
// the way down is held open without delete sharing).  The walk keeps its own
// stack of open folder handles: no depth overflows the thread's stack, and no
// path length limits it.
#pragma once

#include <string>

#include "ioutils/nt_entries.h"

namespace removal {

enum class Depth { kFilesOnly, kWholeTree };

class HandleWalker {
public:
    explicit HandleWalker(const ntfile::Calls& calls) : entries_(calls) {}

    // The contents of the folder at full (a full narrow path); shown names it
    // in the records.  The folder itself stays.
    bool RemoveContents(const std::string& shown, const std::string& full, Depth depth);
    // One file a caller named by its full path: 1 when it is gone or was
    // emptied as a last resort, 0 when it stays.  listed is what a search
    // showed of it.
    DWORD RemoveNamedFile(const std::string& full, const ListedEntry& listed);

    // The folder at full, held for listing without delete sharing; false
    // when it is missing, no folder or a link.
    bool OpenFolder(const std::string& full, HANDLE* folder);
    NtEntries& entries() { return entries_; }
    enum class Effort { kOnce, kRetriedThenEmptied };
    // One file of a held folder: deleted, and with kRetriedThenEmptied waited
    // for and tried again while another program holds it, and as a last
    // resort emptied where it has no other name.  A link goes as itself or
    // stays.
    bool RemoveFile(HANDLE parent, const ListedEntry& entry, Effort effort);

private:
    struct Frame;
    bool Walk(HANDLE root, const std::string& shown, Depth depth);
    enum class Met { kEntered, kRemoved, kStays };
    // A subfolder met in the walk: opened to be walked (*child), or removed
    // as a link.
    Met OpenSubfolder(HANDLE parent, const ListedEntry& entry, Frame* child);
    bool EmptyInPlace(HANDLE parent, const ListedEntry& entry);

    NtEntries entries_;
};

}  // namespace removal
