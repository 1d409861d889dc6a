// The handle operations of the removal on the NT family, one call each: open
// an entry relative to its parent folder's handle by its exact name (never a
// link's target), list a folder through its handle, tell what a handle
// holds, and delete through the handle that was checked.  No name read from
// a listing is ever turned back into a path.
#pragma once

#include <vector>

#include "ioutils/nt_file_calls.h"
#include "ioutils/removal_names.h"

namespace removal {

// An entry as its folder's listing shows it.
struct ListedEntry {
    WideName name;  // exact
    DWORD attributes = 0;
    DWORD tag = 0;  // the reparse tag where FILE_ATTRIBUTE_REPARSE_POINT is set
    ULONGLONG size = 0;
    bool givenByCaller = false;  // a caller's name, matched without regard to case
};

// What an open handle holds.
struct HeldEntry {
    DWORD attributes = 0;
    DWORD tag = 0;
    ULONG links = 1;  // names of a file
    bool directory = false;
};

enum class Opened { kHeld, kGone, kInUse, kFailed };

class NtEntries {
public:
    explicit NtEntries(const ntfile::Calls& calls) : calls_(calls) {}

    // The folder a caller named, by its NT path, case-insensitively; only
    // ever used for that one folder.
    Opened OpenPath(const WideName& ntPath, ULONG access, ULONG share, HANDLE* handle);
    // An entry of the folder held by parent, by its exact name.
    Opened OpenChild(HANDLE parent, const ListedEntry& entry, ULONG access, ULONG share, HANDLE* handle);
    // Every entry of the held folder but "." and "..".
    bool List(HANDLE folder, std::vector<ListedEntry>* entries);
    // Whether the held folder still lists the name (exactly, or for a
    // caller's name without regard to case): an entry that cannot be opened
    // by it (a Unix link to nothing, under Wine) is not gone.
    bool StillListed(HANDLE folder, const WideName& name, bool ignoreCase = false);
    // Whether the held folder lists an entry other than `name` itself that is
    // the same name without regard to case and to the dots and spaces each
    // ends in, and that the system names as it names this one (Wine drops
    // those dots and spaces): a twin whose entries would pass for this
    // one's.  A listing or an open that fails cannot rule one out, nor can a
    // name of dots and spaces alone.
    bool ListsTwin(HANDLE folder, const WideName& name);
    // The entry a caller's name means in the held folder, by its exact
    // listed name: the name itself where it is listed so, else the one entry
    // it matches without regard to case.  False when it matches several and
    // none exactly (case twins: which one an open would reach cannot be
    // told).  *exact is empty for a name listed in no form (a short name,
    // or nothing there).
    bool ListedNameOf(HANDLE folder, const WideName& given, WideName* exact);
    // Whether an entry whose delete was asked is gone, or going: no longer
    // listed, or listed with its delete pending until another program that
    // holds it closes it.  Asked once the deleting handle is closed, since a
    // delete the system accepted may still not happen (a file Wine's Unix
    // side will not unlink).
    bool GoneOrGoing(HANDLE folder, const ListedEntry& entry);
    // Whether the entry the folder lists has its delete pending.
    bool DeletePending(HANDLE folder, const ListedEntry& entry);
    // The handle's own path on its volume, as the file system reports it.
    // Under Wine a Unix link opens as what it leads to, and its handle names
    // that.
    bool OwnName(HANDLE handle, WideName* name);
    // The handle's whole name: its volume's device, then its own path.
    bool ObjectName(HANDLE handle, WideName* name);
    bool Inspect(HANDLE handle, HeldEntry* held);
    // The entry goes when its last handle closes (at once where the system
    // has POSIX deletes).  A read-only one has that attribute cleared first;
    // attributes belong to the file, not to a name, so a file with other
    // names gets it back through the same handle before this returns, and
    // stays if it cannot.
    ntfile::Status DeleteThrough(HANDLE handle, const HeldEntry& held);
    // A folder whose read-only attribute would refuse deletions inside it
    // loses that attribute.
    void ClearReadOnly(HANDLE handle, DWORD attributes);
    // The only name the entry has, emptied through handle.
    bool EmptyThrough(HANDLE handle);

private:
    // Each entry the folder lists for `filter` (all when null), from the first.
    template <typename Visit>
    bool ForEachListed(HANDLE folder, ntfile::UnicodeString* filter, Visit visit);
    // Each entry the folder lists whose name is `name` without regard to
    // case; false when the listing fails or the name cannot be a filter.
    template <typename Visit>
    bool ForEachNamed(HANDLE folder, const WideName& name, Visit visit);
    Opened Open(HANDLE root, const WideName& name, ULONG objectAttributes, ULONG access, ULONG share,
                HANDLE* handle);
    bool SetAttributes(HANDLE handle, DWORD attributes);
    // The last name of an entry of the held folder, as the system names its handle.
    bool ReportedLastName(HANDLE folder, const WideName& name, WideName* last);

    // One listing buffer for the whole walk, grown only for a name too long
    // for it, one for the handles' own names and one for their object names.
    std::vector<ULONGLONG> listing_;
    std::vector<ULONG> ownName_;
    std::vector<ULONG_PTR> objectName_;

    ntfile::Calls calls_;
    bool dontReparse_ = true;  // until the system says it does not know the flag
    bool posixDelete_ = true;  // until the system says it cannot
    ntfile::Status lastStatus_ = ntfile::kSuccess;
};

inline bool IsGone(ntfile::Status status) {
    return status == ntfile::kObjectNameNotFound || status == ntfile::kObjectPathNotFound ||
           status == ntfile::kDeletePending;
}

}  // namespace removal
