// The removal's entry points: the root rule, then the walk of the NT family
// (by handle) or, where its calls are missing, the ANSI walk.
#include "ioutils/recursive_remove.h"

#include <string>

#include "ioutils/ansi_walk.h"
#include "ioutils/find_handle.h"
#include "ioutils/handle_walker.h"
#include "ioutils/protected_files.h"
#include "ioutils/removal_records.h"
#include "ioutils/removal_root.h"

namespace {

using removal::Depth;

constexpr size_t kShortestFolder = 4;  // "C:\a"; "C:\" and "C:" are roots

std::string FullPathOf(const std::string& path) {
    if (IsVerbatimPath(path))
        return path;
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::string();
    std::string text(needed, '\0');
    const DWORD length = GetFullPathNameA(path.c_str(), needed, &text[0], nullptr);
    if (length == 0 || length >= needed)
        return std::string();
    text.resize(length);
    return text;
}

// The walk of the folder a caller named, shown in records as `shown`.  A
// folder that is itself a link is not entered (the walk sees that through
// the folder's own handle): what it shows is another folder's contents,
// which nobody asked to remove.
bool RemoveNamedFolder(const std::string& shown, const std::string& full, Depth depth) {
    const ntfile::Calls calls = ntfile::FindCalls();
    if (!calls.present())
        return removal::AnsiRemoveContents(shown, depth);
    removal::HandleWalker walker(calls);
    return walker.RemoveContents(shown, full, depth);
}

bool HasWildcard(const std::string& path) {
    return path.find_first_of("?*", LastNameStart(path)) != std::string::npos;
}

}  // namespace

bool IO_RecursiveRM(const char* folder) {
    const std::string path = folder != nullptr ? folder : "";
    std::string full;
    if (path.size() < kShortestFolder || !ResolveRemovalFolder(path.c_str(), &full)) {
        removal::LogRootRefused(path);
        return false;
    }
    return RemoveNamedFolder(full, full, Depth::kWholeTree);
}

bool RemoveDirectoryFiles(const char* folder) {
    // A root is accepted here, but an empty name is no folder: its search,
    // "\*.*", would be the current drive's root.
    if (folder == nullptr || *folder == '\0') {
        removal::LogRootRefused("");
        return false;
    }
    const std::string shown = folder;
    // "X:" alone is the current folder of X:; it has always meant the root.
    const bool drive = shown.size() == 2 && shown[1] == ':';
    const std::string full = FullPathOf(drive ? shown + "\\" : shown);
    if (full.empty()) {
        removal::LogFailure(shown, removal::kFolderProblem);
        return false;
    }
    return RemoveNamedFolder(shown, full, Depth::kFilesOnly);
}

DWORD DeleteFileWithRetry(const char* path) {
    const std::string name = path != nullptr ? path : "";
    WIN32_FIND_DATAA found;
    {
        FindHandle search(FindFirstFileA(name.c_str(), &found));
        if (!search.valid())
            return 1;  // already gone
    }
    // A pattern names no one file: whatever it matched stays.
    if (HasWildcard(name))
        return 0;
    const ntfile::Calls calls = ntfile::FindCalls();
    if (!calls.present())
        return removal::AnsiDeleteFile(name);
    const std::string full = FullPathOf(name);
    if (full.empty())
        return 0;
    removal::ListedEntry listed;
    listed.attributes = found.dwFileAttributes;
    listed.tag = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0;
    removal::HandleWalker walker(calls);
    return walker.RemoveNamedFile(full, listed);
}

DWORD RemoveFileIfSafe(const char* path, DWORD* reason) {
    if (!IsSafeToDestroy(path, reason))
        return 0;
    return DeleteFileWithRetry(path);
}
