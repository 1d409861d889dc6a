#include "ioutils/handle_walker.h"

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

}  // namespace

struct HandleWalker::Frame {
    HANDLE handle = INVALID_HANDLE_VALUE;  // closed when the frame is done, but the named folder's
    std::string shown;
    std::vector<ListedEntry> entries;
    size_t next = 0;
    DWORD attributes = 0;
    bool result = true;
};

bool HandleWalker::OpenFolder(const std::string& full, HANDLE* folder) {
    const WideName path = NtPathOf(full);
    if (path.empty())
        return false;
    HANDLE handle;
    if (entries_.OpenPath(path, kListDirectory | kReadAttributes, kShareHeldFolder, &handle) != Opened::kHeld)
        return false;
    HeldEntry held;
    if (!entries_.Inspect(handle, &held) || !held.directory || IsLink(held.attributes, held.tag)) {
        CloseHandle(handle);
        return false;
    }
    *folder = handle;
    return true;
}

bool HandleWalker::RemoveContents(const std::string& shown, const std::string& full, Depth depth) {
    const WideName path = NtPathOf(full);
    HANDLE handle = INVALID_HANDLE_VALUE;
    const Opened opened = path.empty() ? Opened::kFailed
                                       : entries_.OpenPath(path, kListDirectory | kReadAttributes, kShareHeldFolder,
                                                           &handle);
    if (opened == Opened::kGone)
        return true;  // nothing there to remove
    if (opened != Opened::kHeld) {
        LogFailure(shown, kFolderProblem);
        return false;
    }
    // Held until the walk ends: the folder can be neither renamed nor
    // replaced by a link while its contents go.
    FileHandle folder(handle);
    HeldEntry held;
    if (!entries_.Inspect(handle, &held) || IsLink(held.attributes, held.tag)) {
        LogFailure(shown, kFolderProblem);
        return false;
    }
    if (!held.directory)
        return true;  // nothing inside to remove
    return Walk(handle, shown, depth);
}

bool HandleWalker::Walk(HANDLE root, const std::string& shown, Depth depth) {
    std::vector<Frame> stack(1);
    stack[0].handle = root;
    stack[0].shown = shown;
    if (!entries_.List(root, &stack[0].entries)) {
        LogFailure(shown, kFolderProblem);
        return false;
    }
    for (;;) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            if (stack.size() == 1)
                return top.result;
            // Emptied as far as it goes; it goes itself through the handle
            // it was walked by, or stays with one record.
            Frame done = std::move(top);
            stack.pop_back();
            const Status status = entries_.DeleteThrough(done.handle, done.attributes);
            CloseHandle(done.handle);
            if (!Deleted(status)) {
                LogFailure(done.shown, kFolderProblem);
                done.result = false;
            }
            stack.back().result = stack.back().result && done.result;
            continue;
        }
        const ListedEntry entry = std::move(top.entries[top.next++]);
        const bool listedFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (listedFolder ? depth == Depth::kFilesOnly : IsKeptFile(entry.name))
            continue;
        const std::string child = top.shown + "\\" + AnsiFromWide(entry.name);
        if (!listedFolder) {
            if (!RemoveFile(top.handle, entry, Effort::kRetriedThenEmptied)) {
                LogFailure(child, kFileProblem);
                top.result = false;
            }
            continue;
        }
        Frame next;
        switch (OpenSubfolder(top.handle, entry, &next)) {
            case Met::kEntered:
                next.shown = child;
                stack.push_back(std::move(next));  // `top` is no longer valid
                break;
            case Met::kRemoved:
                break;
            case Met::kStays:
                LogFailure(child, kFolderProblem);
                top.result = false;
                break;
        }
    }
}

HandleWalker::Met HandleWalker::OpenSubfolder(HANDLE parent, const ListedEntry& entry, Frame* child) {
    HANDLE handle;
    const Opened opened = entries_.OpenChild(parent, entry, kEntryAccess | kListDirectory, kShareHeldFolder, &handle);
    if (opened == Opened::kGone)  // removed by someone else meanwhile, or out of reach
        return entries_.StillListed(parent, entry.name) ? Met::kStays : Met::kRemoved;
    if (opened != Opened::kHeld)
        return Met::kStays;
    HeldEntry held;
    if (!entries_.Inspect(handle, &held)) {
        CloseHandle(handle);
        return Met::kStays;
    }
    if (IsLink(held.attributes, held.tag)) {
        // The link itself is held: it goes as an entry, whatever it leads to.
        const Status status = entries_.DeleteThrough(handle, held.attributes);
        CloseHandle(handle);
        return Deleted(status) ? Met::kRemoved : Met::kStays;
    }
    if (IsLink(entry.attributes, entry.tag) || !held.directory) {
        // A link the system followed all the same (what the handle holds is
        // its target, which is not ours to remove), or a file put in the
        // folder's place: neither is walked.
        CloseHandle(handle);
        if (held.directory)
            return Met::kStays;
        return RemoveFile(parent, entry, Effort::kRetriedThenEmptied) ? Met::kRemoved : Met::kStays;
    }
    entries_.ClearReadOnly(handle, held.attributes);
    child->handle = handle;
    child->attributes = held.attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    if (!entries_.List(handle, &child->entries))
        child->entries.clear();  // its own deletion then tells whether it still holds anything
    return Met::kEntered;
}

bool HandleWalker::RemoveFile(HANDLE parent, const ListedEntry& entry, Effort effort) {
    const bool retry = effort == Effort::kRetriedThenEmptied;
    const bool listedLink = IsLink(entry.attributes, entry.tag);
    for (int attempt = 0;; ++attempt) {
        HANDLE handle;
        const Opened opened = entries_.OpenChild(parent, entry, kEntryAccess, kShareAll, &handle);
        if (opened == Opened::kGone)
            return !entries_.StillListed(parent, entry.name);
        if (opened == Opened::kFailed)
            return false;
        if (opened == Opened::kHeld) {
            FileHandle file(handle);
            HeldEntry held;
            if (!entries_.Inspect(handle, &held))
                return false;
            const bool link = IsLink(held.attributes, held.tag);
            if ((listedLink && !link) || (held.directory && !link))
                return false;  // a followed link's target, or a folder put in the file's place
            const Status status = entries_.DeleteThrough(handle, held.attributes);
            if (Deleted(status))
                return true;
            if (status != kAccessDenied && status != kSharingViolation)
                return false;
        }
        // Held by another program: waited for, then tried again.
        if (!retry || attempt == kRetries)
            break;
        Sleep(kRetryWaitMs);
    }
    // Emptying a link would empty what it leads to.
    return retry && !listedLink && EmptyInPlace(parent, entry);
}

// The last resort for a file that cannot go: emptied where it is, through a
// handle that shows a plain file with this one name.  Opened, like every
// entry, as itself: a link put in its place since the listing is seen as a
// link and left alone, and a second name (a hard link elsewhere) would be
// emptied too.
bool HandleWalker::EmptyInPlace(HANDLE parent, const ListedEntry& entry) {
    HANDLE handle;
    if (entries_.OpenChild(parent, entry, kWriteData | kReadAttributes, kShareRead | kShareWrite, &handle) !=
        Opened::kHeld)
        return false;
    FileHandle file(handle);
    HeldEntry held;
    if (!entries_.Inspect(handle, &held) || held.links != 1 || held.directory ||
        (held.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    return entries_.EmptyThrough(handle);
}

DWORD HandleWalker::RemoveNamedFile(const std::string& full, const ListedEntry& listed) {
    const size_t start = LastNameStart(full);
    std::string parentPath = full.substr(0, start);
    if (parentPath.size() > 3 && LastNameStart(parentPath) == parentPath.size())
        parentPath.pop_back();  // "C:\a\" is the folder "C:\a"; "C:\" stays a root
    HANDLE parent;
    const WideName path = NtPathOf(parentPath);
    if (path.empty() || entries_.OpenPath(path, kListDirectory | kReadAttributes, kShareAll, &parent) != Opened::kHeld)
        return 0;
    FileHandle folder(parent);
    ListedEntry entry = listed;
    entry.name = WideFromAnsi(full.substr(start));
    entry.givenByCaller = true;
    return RemoveFile(parent, entry, Effort::kRetriedThenEmptied) ? 1 : 0;
}

}  // namespace removal
