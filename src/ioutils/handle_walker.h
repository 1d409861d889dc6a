// The removal's walk on the NT family.  Only the folder a caller names is a
// path; everything below it is reached through its parent folder's open
// handle by its exact UTF-16 name, and believed to be what was listed only
// when the handle's own name and volume say so: then checked through that handle and
// deleted through it.  So nothing the walk lists can lead it elsewhere: not a
// name that the ANSI code page shows as "..\x" or "/", not a trailing dot or
// space, not a listed name holding a separator (never opened), not a link
// (removed as itself, never entered; one the system follows all the same,
// as Wine does, names its target and stays), not a folder renamed or swapped
// for a link while the walk is inside it (each folder on the way down is held
// open without delete sharing).  A delete counts only once the folder is seen
// no longer listing the entry, or listing it with its delete pending.  The
// walk keeps its own stack of open folder handles and one path buffer of each
// kind that every level shares: no depth overflows the thread's stack, costs
// more per entry than the names it compares, or meets a path length limit.
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

    // The folder at full, held for listing without delete sharing, and its
    // own name; false when it is missing, no folder or a link.
    bool OpenFolder(const std::string& full, HANDLE* folder, WideName* name);
    NtEntries& entries() { return entries_; }
    enum class Effort { kOnce, kRetriedThenEmptied };
    enum class Outcome { kDeleted, kAbsent, kEmptied, kStays };
    // One file of a held folder whose own name is folderName: deleted (to be
    // seen gone once its handle is closed), and with kRetriedThenEmptied
    // waited for and tried again while another program holds it, and as a
    // last resort emptied where it has no other name.  A link goes as itself
    // or stays.
    Outcome RemoveFile(HANDLE parent, const WideName& folderName, const ListedEntry& entry, Effort effort);

private:
    struct Frame;
    enum class Named { kHeld, kMissing, kRefused };
    // The folder at full, opened once relative to its parent folder and
    // checked through that handle alone: its own name, kind and tag.
    Named OpenNamedFolder(const std::string& full, HANDLE* folder, WideName* name, HeldEntry* held);
    bool Walk(HANDLE root, const std::string& shown, const WideName& rootName, Depth depth);
    // A subfolder met in the walk: opened to be walked (*child), or removed
    // as a link.
    enum class Met { kEntered, kDeleted, kAbsent, kStays };
    Met OpenSubfolder(HANDLE parent, const ListedEntry& entry, Frame* child);
    // Whether the handle opened for entry of the folder held by parent, whose
    // own name is folderName, names that entry on the walk's volume; its own
    // name is left in reported_.
    bool IsListedEntry(HANDLE handle, HANDLE parent, const WideName& folderName, const ListedEntry& entry);
    // The folder above the entry a caller named, opened by its path, with
    // its own name as the system reports it.
    Opened OpenNamedParent(const std::string& full, size_t lastNameStart, HANDLE* parent, WideName* parentName);
    bool HasTwinOnTheWay(const WideName& ntPath);
    // A caller's last name as the entry it means in the held folder: its
    // exact listed name where the folder lists it in some case, else as
    // given (matched without regard to case when opened).  False for a name
    // that case twins share.
    bool NameIn(HANDLE parent, const std::string& given, ListedEntry* entry);
    // The held folder's own name, and its volume for the walk (volume_):
    // its object name without that path.
    bool TakeVolumeOf(HANDLE folder, WideName* ownName);
    bool EmptyInPlace(HANDLE parent, const WideName& folderName, const ListedEntry& entry);
    // The entries of a finished folder whose delete was accepted, seen gone;
    // those still there keep their records.  In the named folder, also
    // nothing there that the walk never met.
    bool SeenGone(Frame& frame, bool named, Depth depth);

    NtEntries entries_;
    // The walk's paths, shared by every level: a folder's own name and its
    // name in the records, each entry's appended only while it is looked at.
    WideName name_;
    std::string shown_;
    WideName reported_;  // the last handle's own name, as its file system reports it
    WideName expected_;  // an entry's name below its folder's, while it is compared
    WideName volume_;    // the named folder's volume, as its object name starts
};

}  // namespace removal
