#include "ioutils/recursive_remove.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "ioutils/protected_files.h"
#include "logs/action_log.h"

namespace {

constexpr char kAction[] = "Cleaning the contents of a directory";
constexpr char kRootRefused[] = "Cleaning the root directory of a drive is not allowed!";
constexpr char kFileProblem[] = "Unable to remove the following file (it may be in use):";
constexpr char kFolderProblem[] = "Unable to remove the following subdirectory (it may not be empty):";
constexpr char kKeptFile[] = "desktop.ini";
constexpr size_t kShortestFolder = 4;  // "C:\a"; "C:\" and "C:" are roots
constexpr int kRetries = 2;
constexpr DWORD kRetryWaitMs = 1000;

// Closes a search however the walk ends.
class FindHandle {
public:
    explicit FindHandle(HANDLE h) : h_(h) {}
    ~FindHandle() {
        if (h_ != INVALID_HANDLE_VALUE)
            FindClose(h_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

void LogFailure(const std::string& path, const char* problem) {
    const std::vector<std::string> details{path};
    g_ActionLog.AddEntry(path.substr(0, 1).c_str(), kAction, problem, &details);
}

bool IsDotEntry(const char* name) { return std::string(name) == "." || std::string(name) == ".."; }

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

std::vector<std::string> Names(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        if (end > start)
            names.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The folder as the system resolves it ("." and ".." folded, separators
// made one), without a trailing "\".  False when that is no folder below a
// root: a drive's root however written ("C:\.", "C:\a\..", "C:\\"), a
// share ("\\server\share"), a device ("\\.\C:"), or a path that still
// climbs (a verbatim "\\?\" path keeps its ".."), or one that cannot be
// resolved at all.
bool ResolveBelowRoot(const std::string& folder, std::string* full) {
    const DWORD needed = GetFullPathNameA(folder.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::string text(needed, '\0');
    const DWORD length = GetFullPathNameA(folder.c_str(), needed, &text[0], nullptr);
    if (length == 0 || length >= needed)
        return false;
    text.resize(length);
    while (!text.empty() && text.back() == '\\')
        text.pop_back();
    std::string body = text;
    size_t rootNames = 1;  // "C:"
    if (text.compare(0, 4, "\\\\?\\") == 0 || text.compare(0, 4, "\\\\.\\") == 0) {
        body = text.substr(4);
        if (_strnicmp(body.c_str(), "UNC\\", 4) == 0) {
            body = body.substr(4);
            rootNames = 2;
        }
    } else if (text.compare(0, 2, "\\\\") == 0) {
        body = text.substr(2);
        rootNames = 2;  // server and share
    }
    const std::vector<std::string> names = Names(body);
    for (const std::string& name : names)
        if (name == "." || name == "..")
            return false;
    if (names.size() <= rootNames)
        return false;
    *full = text;
    return true;
}

// The walk of both removals; subfolders are entered only when `recurse`.
bool RemoveContents(const std::string& folder, bool recurse) {
    bool result = true;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!search.valid())
        return true;  // nothing there, or no such folder
    do {
        const std::string child = folder + "\\" + found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            if (_stricmp(found.cFileName, kKeptFile) == 0)
                continue;
            if (DeleteFileWithRetry(child.c_str()) == 0) {
                LogFailure(child, kFileProblem);
                result = false;
            }
        } else if (recurse && IsLink(found.dwFileAttributes)) {
            // A junction, folder link or mount point goes as an entry, never
            // entered: what it leads to lies outside the folder.
            if (!RemoveDirectoryA(child.c_str())) {
                LogFailure(child, kFolderProblem);
                result = false;
            }
        } else if (recurse && !IsDotEntry(found.cFileName)) {
            SetFileAttributesA(child.c_str(), 0);
            if (!RemoveContents(child, true))
                result = false;
            if (!RemoveDirectoryA(child.c_str())) {
                LogFailure(child, kFolderProblem);
                result = false;
            }
        }
    } while (FindNextFileA(search.get(), &found));
    return result;
}

// The walk of the folder a caller named.  A folder that is itself a link is
// not entered: what it shows is another folder's contents, which nobody
// asked to remove; it is recorded as a folder that stays.
bool RemoveNamedFolder(const std::string& folder, bool recurse) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && IsLink(attributes)) {
        LogFailure(folder, kFolderProblem);
        return false;
    }
    return RemoveContents(folder, recurse);
}

}  // namespace

bool IO_RecursiveRM(const char* folder) {
    const std::string path = folder != nullptr ? folder : "";
    std::string full;
    if (path.size() < kShortestFolder || !ResolveBelowRoot(path, &full)) {
        g_ActionLog.AddEntry(path.c_str(), kAction, kRootRefused);
        return false;
    }
    return RemoveNamedFolder(full, true);
}

bool RemoveDirectoryFiles(const char* folder) {
    // A root is accepted here, but an empty name is no folder: its search,
    // "\*.*", would be the current drive's root.
    if (folder == nullptr || *folder == '\0') {
        g_ActionLog.AddEntry("", kAction, kRootRefused);
        return false;
    }
    return RemoveNamedFolder(folder, false);
}

DWORD DeleteFileWithRetry(const char* path) {
    WIN32_FIND_DATAA found;
    {
        FindHandle search(FindFirstFileA(path, &found));
        if (!search.valid())
            return 1;  // already gone
    }
    // A file link goes as itself, or stays: clearing attributes, waiting or
    // emptying could reach the file it leads to.
    if (IsLink(found.dwFileAttributes))
        return DeleteFileA(path) ? 1 : 0;
    SetFileAttributesA(path, 0);  // read-only, hidden and system files go too
    if (_unlink(path) == 0)
        return 1;
    // Only access denied is worth waiting for: it is also how the C runtime
    // reports a file that another process holds open.
    if (errno != EACCES)
        return 1;
    for (int retry = 0; retry < kRetries && errno == EACCES; ++retry) {
        Sleep(kRetryWaitMs);
        if (_unlink(path) == 0)
            return 1;
    }
    // Last resort: a file that cannot go is at least emptied.
    if (FILE* file = _fsopen(path, "wb", _SH_DENYNO)) {
        std::fclose(file);
        return 1;
    }
    return 0;
}

DWORD RemoveFileIfSafe(const char* path, DWORD* reason) {
    if (!IsSafeToDestroy(path, reason))
        return 0;
    return DeleteFileWithRetry(path);
}
