#include "ioutils/handle_walker.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ioutils/file_handle.h"
#include "ioutils/removal_records.h"
#include "ioutils/removal_root.h"
#include "ioutils/reparse_kinds.h"

namespace removal {

namespace {

using namespace ntfile;

constexpr ULONG kShareAll = kShareRead | kShareWrite | kShareDelete;
// A folder of the walk cannot be renamed, removed or swapped while held.
constexpr ULONG kShareHeldFolder = kShareRead | kShareWrite;
constexpr ULONG kEntryAccess = kDelete | kReadAttributes | kWriteAttributes;

bool IsKeptFile(const WideName& name) {
    const size_t length = sizeof kKeptFile - 1;
    if (name.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        WCHAR c = name[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<WCHAR>(c - 'A' + 'a');
        if (c != static_cast<WCHAR>(kKeptFile[i]))
            return false;
    }
    return true;
}

bool Deleted(Status status) { return status >= 0 || IsGone(status); }

// An entry as the records name it, below its folder's name.  Built a piece
// at a time: GCC warns of an overlap on a joined temporary.
std::string ShownChild(const std::string& folder, const WideName& name) {
    std::string shown = folder;
    // A drive's root given as L:\ has its separator already.  (No other last
    // backslash is tested: in a double-byte code page it may be the second
    // byte of a character.)
    if (!(shown.size() >= 2 && shown.back() == '\\' && shown[shown.size() - 2] == ':'))
        shown += '\\';
    shown += AnsiFromWide(name);
    return shown;
}

// A name below a folder's own name; a volume's root is "\\".
void AppendName(WideName* path, const WideName& name) {
    if (path->empty() || path->back() != '\\')
        path->push_back('\\');
    path->append(name);
}

// The folder a named entry lies in, as a path: "C:\a\b" -> "C:\a",
// "C:\a" -> "C:\", "\\?\C:\a" -> "\\?\C:\"; a drive's root keeps its
// separator, which names the folder and not the volume.
std::string ParentPathOf(const std::string& full, size_t lastNameStart) {
    std::string parent = full.substr(0, lastNameStart);
    if (LastNameStart(parent) == parent.size() && parent.size() > 1) {
        std::string shorter = parent.substr(0, parent.size() - 1);
        const std::string last = shorter.substr(LastNameStart(shorter));
        if (!(last.size() == 2 && last[1] == ':'))
            parent = shorter;
    }
    return parent;
}

}  // namespace

struct HandleWalker::Frame {
    HANDLE handle = INVALID_HANDLE_VALUE;  // closed when the frame is done, but the named folder's
    size_t nameLength = 0;                 // of name_ and shown_ while this folder's entries are looked at
    size_t shownLength = 0;
    std::vector<ListedEntry> entries;
    std::vector<size_t> deleted;  // entries whose delete was accepted, to be seen gone
    size_t next = 0;
    size_t indexInParent = 0;
    HeldEntry held;
    bool result = true;
};

HandleWalker::Named HandleWalker::OpenNamedFolder(const std::string& given, HANDLE* folder, WideName* name,
                                                  HeldEntry* held) {
    // "C:\t\vol\" names the folder vol, not a root (vol may be another
    // drive's): it is reached by its name in the folder above, as any is.
    std::string full = given;
    while (full.size() > 1 && LastNameStart(full) == full.size() && IsFolderBelowRoot(full.substr(0, full.size() - 1)))
        full.pop_back();
    const size_t start = LastNameStart(full);
    HANDLE handle;
    if (start == full.size()) {
        // A root (RemoveDirectoryFiles takes one): no link, and nothing above it to name it by.
        const WideName path = NtPathOf(full);
        const Opened opened = path.empty() ? Opened::kFailed
                                           : entries_.OpenPath(path, kListDirectory | kReadAttributes,
                                                               kShareHeldFolder, &handle);
        if (opened != Opened::kHeld)
            return opened == Opened::kGone ? Named::kMissing : Named::kRefused;
        if (!TakeVolumeOf(handle, name)) {
            CloseHandle(handle);
            return Named::kRefused;
        }
    } else {
        HANDLE parent;
        WideName parentName;
        const Opened opened = OpenNamedParent(full, start, &parent, &parentName);
        if (opened != Opened::kHeld)
            return opened == Opened::kGone ? Named::kMissing : Named::kRefused;
        FileHandle above(parent);
        ListedEntry entry;
        if (!NameIn(parent, full.substr(start), &entry))
            return Named::kRefused;
        const Opened child = entries_.OpenChild(parent, entry, kListDirectory | kReadAttributes, kShareHeldFolder,
                                                &handle);
        if (child != Opened::kHeld)
            return child == Opened::kGone ? Named::kMissing : Named::kRefused;
        // The folder's own handle says what it is: under Wine a Unix link
        // (or a link beside a case twin of the name) opens as its target,
        // whose name is another.
        if (!IsListedEntry(handle, parent, parentName, entry)) {
            CloseHandle(handle);
            return Named::kRefused;
        }
        // Its entries are named below the folder above as the system reports
        // it, then its listed name (Wine reports a last name without trailing
        // dots and spaces, the same name above an entry with some of them).
        *name = reported_.substr(0, reported_.find_last_of('\\') + 1);
        *name += entry.givenByCaller ? reported_.substr(name->size()) : entry.name;
    }
    if (!entries_.Inspect(handle, held) || IsLink(held->attributes, held->tag)) {
        CloseHandle(handle);
        return Named::kRefused;
    }
    if (!held->directory) {
        CloseHandle(handle);
        return Named::kMissing;  // a file: nothing inside to remove
    }
    *folder = handle;
    return Named::kHeld;
}

bool HandleWalker::OpenFolder(const std::string& full, HANDLE* folder, WideName* name) {
    HeldEntry held;
    return OpenNamedFolder(full, folder, name, &held) == Named::kHeld;
}

bool HandleWalker::RemoveContents(const std::string& shown, const std::string& full, Depth depth) {
    HANDLE handle;
    WideName name;
    HeldEntry held;
    switch (OpenNamedFolder(full, &handle, &name, &held)) {
        case Named::kMissing:
            return true;  // nothing there to remove
        case Named::kRefused:
            LogFailure(shown, kFolderProblem);
            return false;
        case Named::kHeld:
            break;
    }
    // Held until the walk ends: the folder can be neither renamed nor
    // replaced by a link while its contents go.
    FileHandle folder(handle);
    return Walk(handle, shown, name, depth);
}

bool HandleWalker::TakeVolumeOf(HANDLE folder, WideName* ownName) {
    if (!entries_.OwnName(folder, ownName) || ownName->empty() || (*ownName)[0] != '\\' ||
        !entries_.ObjectName(folder, &volume_) || volume_.size() <= ownName->size())
        return false;
    const size_t volumeLength = volume_.size() - ownName->size();
    if (volume_.compare(volumeLength, ownName->size(), *ownName) != 0)
        return false;
    volume_.resize(volumeLength);
    return true;
}

bool HandleWalker::IsListedEntry(HANDLE handle, HANDLE parent, const WideName& folderName, const ListedEntry& entry) {
    // A file system names a handle's file below its own volume's root, and
    // under Wine a Unix link opens as what it leads to: a link K:\t to C:\t
    // would pass for the entry by its path alone.  The entry lies on the
    // named folder's volume, as every entry of the walk does: its object
    // name is that volume's, then its path.
    if (!entries_.ObjectName(handle, &reported_) || reported_.size() <= volume_.size() ||
        reported_.compare(0, volume_.size(), volume_) != 0 || reported_[volume_.size()] != '\\')
        return false;
    reported_.erase(0, volume_.size());
    expected_ = folderName;
    if (expected_.empty() || expected_.back() != '\\')
        expected_.push_back('\\');
    expected_ += entry.name;
    bool lastInexact = false;
    if (!IsReportedPathOf(reported_, expected_, &lastInexact))
        return false;
    if (!lastInexact)
        return true;
    // The entry's own name came back otherwise than listed (Wine drops
    // trailing dots and spaces; a file system may answer in another case):
    // the handle is this entry only where no twin so named lies beside it.
    // (The folders above were each checked so when entered.)
    return !entries_.ListsTwin(parent, entry.name);
}

Opened HandleWalker::OpenNamedParent(const std::string& full, size_t lastNameStart, HANDLE* parent,
                                     WideName* parentName) {
    const WideName path = NtPathOf(ParentPathOf(full, lastNameStart));
    if (path.empty())
        return Opened::kFailed;
    const Opened opened = entries_.OpenPath(path, kListDirectory | kReadAttributes, kShareAll, parent);
    if (opened != Opened::kHeld)
        return opened;
    if (!TakeVolumeOf(*parent, parentName) || HasTwinOnTheWay(NtPathOf(full))) {
        CloseHandle(*parent);
        return Opened::kFailed;
    }
    return Opened::kHeld;
}

// Wine reports a path's names without some or all of their trailing dots,
// so below "a." and below a folder "a" beside it entries have the same
// names: a link into the one would pass for an entry of the other.  No name
// of a caller's path may have such a twin beside it.  (In the walk, both
// twins of a folder are inside the named one.)
bool HandleWalker::HasTwinOnTheWay(const WideName& ntPath) {
    // "\??\X:\name..." or "\??\UNC\server\share\name...": names 2 and 4 on
    // (0 is "??") are below the root.
    std::vector<size_t> starts;  // where each name starts, after its separator
    for (size_t i = 0; i < ntPath.size(); ++i)
        if (ntPath[i] == '\\')
            starts.push_back(i + 1);
    const WCHAR unc[] = {'\\', '?', '?', '\\', 'U', 'N', 'C', '\\'};
    const size_t first = ntPath.compare(0, 8, unc, 8) == 0 ? 4 : 2;
    for (size_t n = first; n < starts.size(); ++n) {
        const size_t end = n + 1 < starts.size() ? starts[n + 1] - 1 : ntPath.size();
        const WideName name = ntPath.substr(starts[n], end - starts[n]);
        // The folder that holds it: a root keeps its separator, which names
        // the folder and not the volume.
        // A folder that cannot be listed cannot show that it holds no twin.
        // The name as typed is first the entry it names (in its own case).
        HANDLE folder;
        const WideName above = ntPath.substr(0, n == first ? starts[n] : starts[n] - 1);
        if (entries_.OpenPath(above, kListDirectory, kShareAll, &folder) != Opened::kHeld)
            return true;
        WideName listed;
        const bool twin = !entries_.ListedNameOf(folder, name, &listed) ||
                          entries_.ListsTwin(folder, listed.empty() ? name : listed);
        CloseHandle(folder);
        if (twin)
            return true;
    }
    return false;
}

bool HandleWalker::NameIn(HANDLE parent, const std::string& given, ListedEntry* entry) {
    entry->name = WideFromAnsi(given);
    WideName listed;
    if (!entries_.ListedNameOf(parent, entry->name, &listed))
        return false;
    entry->givenByCaller = listed.empty();
    if (!listed.empty())
        entry->name = std::move(listed);
    return true;
}

bool HandleWalker::Walk(HANDLE root, const std::string& shown, const WideName& rootName, Depth depth) {
    name_ = rootName;
    shown_ = shown;
    std::vector<Frame> stack(1);
    stack[0].handle = root;
    stack[0].nameLength = name_.size();
    stack[0].shownLength = shown_.size();
    if (!entries_.List(root, &stack[0].entries)) {
        LogFailure(shown, kFolderProblem);
        return false;
    }
    for (;;) {
        Frame& top = stack.back();
        name_.resize(top.nameLength);
        shown_.resize(top.shownLength);
        if (top.next == top.entries.size()) {
            top.result = SeenGone(top, stack.size() == 1, depth) && top.result;
            if (stack.size() == 1)
                return top.result;
            // Emptied as far as it goes; it goes itself through the handle
            // it was walked by, or stays with one record.
            Frame done = std::move(top);
            stack.pop_back();
            const Status status = entries_.DeleteThrough(done.handle, done.held);
            CloseHandle(done.handle);
            if (Deleted(status)) {
                stack.back().deleted.push_back(done.indexInParent);
            } else {
                LogFailure(shown_, kFolderProblem);
                done.result = false;
            }
            stack.back().result = stack.back().result && done.result;
            continue;
        }
        const size_t index = top.next++;
        const ListedEntry& entry = top.entries[index];
        const bool listedFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (listedFolder ? depth == Depth::kFilesOnly : IsKeptFile(entry.name))
            continue;
        const auto stays = [&](const char* problem) {
            LogFailure(ShownChild(shown_, entry.name), problem);
            top.result = false;
        };
        if (!IsOneName(entry.name)) {
            stays(listedFolder ? kFolderProblem : kFileProblem);  // never opened: it would be a path
            continue;
        }
        if (!listedFolder) {
            const Outcome outcome = RemoveFile(top.handle, name_, entry, Effort::kRetriedThenEmptied);
            if (outcome == Outcome::kDeleted)
                top.deleted.push_back(index);
            else if (outcome == Outcome::kStays)
                stays(kFileProblem);
            continue;
        }
        Frame next;
        switch (OpenSubfolder(top.handle, entry, &next)) {
            case Met::kEntered:
                next.indexInParent = index;
                AppendName(&name_, entry.name);
                shown_ += '\\';
                shown_ += AnsiFromWide(entry.name);
                next.nameLength = name_.size();
                next.shownLength = shown_.size();
                stack.push_back(std::move(next));  // `top` and `entry` are no longer valid
                break;
            case Met::kDeleted:
                top.deleted.push_back(index);
                break;
            case Met::kAbsent:
                break;
            case Met::kStays:
                stays(kFolderProblem);
                break;
        }
    }
}

// One listing of the finished folder tells which of its deleted entries are
// really gone; one still listed counts only if its delete is pending (another
// program holds it and it goes when that program closes it).  In the named
// folder the same listing must show nothing that was not met in the first:
// an entry made or moved in meanwhile, or renamed there, was never removed.
// (A subfolder holding such an entry cannot be deleted, and says so.)
bool HandleWalker::SeenGone(Frame& frame, bool named, Depth depth) {
    if (frame.deleted.empty() && !named)
        return true;
    std::vector<ListedEntry> listed;
    const bool complete = entries_.List(frame.handle, &listed);
    bool result = true;
    if (named && !complete) {
        LogFailure(shown_, kFolderProblem);  // what it holds now cannot be seen
        result = false;
    } else if (named) {
        std::vector<WideName> met;
        met.reserve(frame.entries.size());
        for (const ListedEntry& entry : frame.entries)
            met.push_back(entry.name);
        std::sort(met.begin(), met.end());
        for (const ListedEntry& entry : listed) {
            const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (std::binary_search(met.begin(), met.end(), entry.name) ||
                (folder ? depth == Depth::kFilesOnly : IsKeptFile(entry.name)) ||
                (IsOneName(entry.name) && entries_.DeletePending(frame.handle, entry)))
                continue;
            LogFailure(ShownChild(shown_, entry.name), folder ? kFolderProblem : kFileProblem);
            result = false;
        }
    }
    if (frame.deleted.empty())
        return result;
    std::vector<WideName> names;
    names.reserve(listed.size());
    for (ListedEntry& entry : listed)
        names.push_back(std::move(entry.name));
    std::sort(names.begin(), names.end());
    for (size_t index : frame.deleted) {
        const ListedEntry& entry = frame.entries[index];
        const bool stillListed = !complete || std::binary_search(names.begin(), names.end(), entry.name);
        if (!stillListed || entries_.DeletePending(frame.handle, entry))
            continue;
        const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        LogFailure(ShownChild(shown_, entry.name), folder ? kFolderProblem : kFileProblem);
        result = false;
    }
    return result;
}

HandleWalker::Met HandleWalker::OpenSubfolder(HANDLE parent, const ListedEntry& entry, Frame* child) {
    HANDLE handle;
    const Opened opened = entries_.OpenChild(parent, entry, kEntryAccess | kListDirectory, kShareHeldFolder, &handle);
    if (opened == Opened::kGone)  // removed by someone else meanwhile, or out of reach
        return entries_.GoneOrGoing(parent, entry) ? Met::kAbsent : Met::kStays;
    if (opened != Opened::kHeld)
        return Met::kStays;
    HeldEntry held;
    if (!IsListedEntry(handle, parent, name_, entry) || !entries_.Inspect(handle, &held)) {
        CloseHandle(handle);
        return Met::kStays;
    }
    if (IsLink(held.attributes, held.tag)) {
        // The link itself is held: it goes as an entry, whatever it leads to.
        const Status status = entries_.DeleteThrough(handle, held);
        CloseHandle(handle);
        return Deleted(status) ? Met::kDeleted : Met::kStays;
    }
    if (IsLink(entry.attributes, entry.tag) || !held.directory) {
        // A link the system followed all the same to somewhere of the same
        // name, or a file put in the folder's place: neither is walked.
        CloseHandle(handle);
        if (held.directory)
            return Met::kStays;
        switch (RemoveFile(parent, name_, entry, Effort::kRetriedThenEmptied)) {
            case Outcome::kDeleted:
                return Met::kDeleted;
            case Outcome::kStays:
                return Met::kStays;
            default:
                return Met::kAbsent;
        }
    }
    entries_.ClearReadOnly(handle, held.attributes);
    child->handle = handle;
    child->held = held;
    child->held.attributes &= ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (!entries_.List(handle, &child->entries))
        child->entries.clear();  // its own deletion then tells whether it still holds anything
    return Met::kEntered;
}

HandleWalker::Outcome HandleWalker::RemoveFile(HANDLE parent, const WideName& folderName, const ListedEntry& entry,
                                               Effort effort) {
    if (!entry.givenByCaller && !IsOneName(entry.name))
        return Outcome::kStays;
    const bool retry = effort == Effort::kRetriedThenEmptied;
    const bool listedLink = IsLink(entry.attributes, entry.tag);
    for (int attempt = 0;; ++attempt) {
        HANDLE handle;
        const Opened opened = entries_.OpenChild(parent, entry, kEntryAccess, kShareAll, &handle);
        if (opened == Opened::kGone)
            return entries_.GoneOrGoing(parent, entry) ? Outcome::kAbsent : Outcome::kStays;
        if (opened == Opened::kFailed)
            return Outcome::kStays;
        if (opened == Opened::kHeld) {
            FileHandle file(handle);
            HeldEntry held;
            if (!IsListedEntry(handle, parent, folderName, entry) || !entries_.Inspect(handle, &held))
                return Outcome::kStays;
            const bool link = IsLink(held.attributes, held.tag);
            if ((listedLink && !link) || (held.directory && !link))
                return Outcome::kStays;  // a followed link's target, or a folder put in the file's place
            const Status status = entries_.DeleteThrough(handle, held);
            if (Deleted(status))
                return Outcome::kDeleted;  // seen gone once this handle is closed
            if (status != kAccessDenied && status != kSharingViolation)
                return Outcome::kStays;
        }
        // Held by another program: waited for, then tried again.
        if (!retry || attempt == kRetries)
            break;
        Sleep(kRetryWaitMs);
    }
    // Emptying a link would empty what it leads to.
    return retry && !listedLink && EmptyInPlace(parent, folderName, entry) ? Outcome::kEmptied : Outcome::kStays;
}

// The last resort for a file that cannot go: emptied where it is, through a
// handle that names this entry and shows a plain file with this one name.
// Opened, like every entry, as itself: a link put in its place since the
// listing is seen as a link and left alone, and a second name (a hard link
// elsewhere) would be emptied too.
bool HandleWalker::EmptyInPlace(HANDLE parent, const WideName& folderName, const ListedEntry& entry) {
    HANDLE handle;
    if (entries_.OpenChild(parent, entry, kWriteData | kReadAttributes, kShareRead | kShareWrite, &handle) !=
        Opened::kHeld)
        return false;
    FileHandle file(handle);
    HeldEntry held;
    if (!IsListedEntry(handle, parent, folderName, entry) || !entries_.Inspect(handle, &held) || held.links != 1 ||
        held.directory || (held.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    return entries_.EmptyThrough(handle);
}

DWORD HandleWalker::RemoveNamedFile(const std::string& full, const ListedEntry& listed) {
    const size_t start = LastNameStart(full);
    if (start == full.size())
        return 0;
    HANDLE parent;
    WideName folderName;
    if (OpenNamedParent(full, start, &parent, &folderName) != Opened::kHeld)
        return 0;
    FileHandle folder(parent);
    ListedEntry entry = listed;
    if (!NameIn(parent, full.substr(start), &entry))
        return 0;
    switch (RemoveFile(parent, folderName, entry, Effort::kRetriedThenEmptied)) {
        case Outcome::kDeleted:
            return entries_.GoneOrGoing(parent, entry) ? 1 : 0;
        case Outcome::kStays:
            return 0;
        default:
            return 1;
    }
}

}  // namespace removal
