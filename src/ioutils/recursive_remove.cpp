#include "ioutils/recursive_remove.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ioutils/file_handle.h"
#include "ioutils/os_class.h"
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
constexpr int kNtFamily = 4;

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

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// --- reparse points

// The handle calls of Windows Vista and later, looked up at run time so that
// the library still loads where they are missing; their information classes
// and records as the system defines them.
constexpr int kFileBasicInfo = 0;
constexpr int kFileAttributeTagInfo = 9;
struct BasicInfo {
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    DWORD attributes;  // 0 leaves them as they are
};
struct AttributeTagInfo {
    DWORD attributes;
    DWORD reparseTag;
};
static_assert(sizeof(BasicInfo) == 40, "FILE_BASIC_INFO");
static_assert(sizeof(AttributeTagInfo) == 8, "FILE_ATTRIBUTE_TAG_INFO");
using HandleInfoCall = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

struct HandleInfoCalls {
    HandleInfoCall get = nullptr;
    HandleInfoCall set = nullptr;
};

const HandleInfoCalls& HandleCalls() {
    static const HandleInfoCalls calls = [] {
        HandleInfoCalls found;
        // Kernel32.dll stays in every process for its whole life, so the
        // addresses outlast the reference taken here.
        if (HMODULE kernel = LoadLibraryA("kernel32.dll")) {
            // Through void(*)() so that the compiler accepts the change of signature.
            found.get = reinterpret_cast<HandleInfoCall>(
                reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetFileInformationByHandleEx")));
            found.set = reinterpret_cast<HandleInfoCall>(
                reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetFileInformationByHandle")));
            FreeLibrary(kernel);
        }
        return found;
    }();
    return calls;
}

// Reparse points that a file-system filter keeps on the user's own data:
// cloud placeholders (every sub-kind), deduplicated, compressed and
// hierarchical-storage files.
bool IsDataTag(DWORD tag) {
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
// surrogate (link, junction, mount point), but also an unknown tag and the
// tag 0 of a system that reports none, such as a Unix link under Wine.
bool IsLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsDataTag(tag);
}

// The tag seen through a handle; 0 (a link) where the system cannot say.
DWORD TagOf(HANDLE handle) {
    AttributeTagInfo info{};
    const HandleInfoCall get = HandleCalls().get;
    return get != nullptr && get(handle, kFileAttributeTagInfo, &info, sizeof info) ? info.reparseTag : 0;
}

// A link's own read-only, hidden and system attributes, cleared through a
// handle to the link itself (never its target's); only where that handle
// shows a reparse point, since Wine's shows what a link leads to.
void ClearLinkAttributes(const std::string& path) {
    const HandleInfoCall set = HandleCalls().set;
    if (set == nullptr)
        return;  // no links before Windows Vista
    FileHandle link(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!link.valid() || !GetFileInformationByHandle(link.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return;
    BasicInfo basic{};
    basic.attributes = FILE_ATTRIBUTE_NORMAL;  // none; 0 would leave them as they are
    set(link.get(), kFileBasicInfo, &basic, sizeof basic);
}

// --- names

// The name to reach an entry by: its own, or its short name where the code
// page cannot show its own ("?" stands for each such character, and would be
// taken as a wildcard); "" when neither serves.
std::string ReachableName(const WIN32_FIND_DATAA& found) {
    if (std::strpbrk(found.cFileName, "?*") == nullptr)
        return found.cFileName;
    return found.cAlternateFileName;  // always in the code page; empty on volumes that keep no short names
}

bool HasWildcard(const std::string& path) {
    const size_t last = path.find_last_of("\\/");
    return path.find_first_of("?*", last == std::string::npos ? 0 : last + 1) != std::string::npos;
}

bool StillThere(const std::string& path) {
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(path.c_str(), &found));
    return search.valid();
}

// --- files

// The last resort for a file that cannot go: emptied where it is, through a
// handle that shows a plain file with this one name.  A second name (a hard
// link elsewhere) would be emptied too, a link would empty what it leads to.
bool EmptyInPlace(const std::string& path, bool ntFamily) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                ntFamily ? FILE_FLAG_OPEN_REPARSE_POINT : 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info))
        return false;
    if (info.nNumberOfLinks != 1 || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    return SetEndOfFile(file.get()) != FALSE;
}

// A file of the walk, or the one a caller named, found as `found`.
DWORD DeleteFound(const std::string& path, const WIN32_FIND_DATAA& found, bool ntFamily) {
    const bool link = IsLink(found.dwFileAttributes, found.dwReserved0);
    if (link)
        ClearLinkAttributes(path);
    else
        SetFileAttributesA(path.c_str(), 0);  // read-only, hidden and system files go too
    if (_unlink(path.c_str()) == 0)
        return 1;
    // Only access denied is worth waiting for: it is also how the C runtime
    // reports a file that another process holds open.  Any other failure
    // counts as gone only if the file really is.
    if (errno != EACCES)
        return StillThere(path) ? 0 : 1;
    for (int retry = 0; retry < kRetries && errno == EACCES; ++retry) {
        Sleep(kRetryWaitMs);
        if (_unlink(path.c_str()) == 0)
            return 1;
    }
    if (link)
        return 0;  // emptying it would empty what it leads to
    return EmptyInPlace(path, ntFamily) ? 1 : 0;
}

// --- folders

enum class Pin { kHeld, kLink, kNotFolder, kGone, kFailed };

// Opens the folder itself, never what a link leads to, without sharing its
// deletion: while the handle is held the folder can be neither renamed nor
// removed, nor (on Windows) anything above it renamed.  Checked through the
// handle, so what was checked is what is held.
Pin PinFolder(const std::string& folder, std::optional<FileHandle>* held) {
    // "X:" alone is the current folder of X:; the walk searches "X:\*.*".
    const std::string name = folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
    HANDLE handle = CreateFileA(name.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Pin::kGone : Pin::kFailed;
    }
    held->emplace(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return Pin::kFailed;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Pin::kNotFolder;
    if (IsLink(info.dwFileAttributes, (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? TagOf(handle) : 0))
        return Pin::kLink;
    return Pin::kHeld;
}

// A folder link goes as itself; a read-only one once its own attributes are
// cleared.
bool RemoveFolderLink(const std::string& path) {
    if (RemoveDirectoryA(path.c_str()))
        return true;
    ClearLinkAttributes(path);
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool RemoveContents(const std::string& folder, bool recurse, bool ntFamily);

// A subfolder of the walk: emptied and removed while held, or, when it
// turns out to be a link after all, removed as one.  False when something
// stays; each such thing is recorded once.
bool RemoveSubfolder(const std::string& child, bool link, bool ntFamily) {
    std::optional<FileHandle> held;
    if (!link && ntFamily) {
        switch (PinFolder(child, &held)) {
            case Pin::kGone:
                return true;  // removed by someone else meanwhile
            case Pin::kLink:
                held.reset();
                link = true;
                break;
            case Pin::kNotFolder:
            case Pin::kFailed:
                LogFailure(child, kFolderProblem);
                return false;
            case Pin::kHeld:
                break;
        }
    }
    if (link) {
        if (RemoveFolderLink(child))
            return true;
        LogFailure(child, kFolderProblem);
        return false;
    }
    SetFileAttributesA(child.c_str(), 0);
    bool result = RemoveContents(child, true, ntFamily);
    held.reset();  // a folder that is held cannot be removed
    if (!RemoveDirectoryA(child.c_str())) {
        LogFailure(child, kFolderProblem);
        result = false;
    }
    return result;
}

// The walk of both removals; subfolders are entered only when `recurse`.
bool RemoveContents(const std::string& folder, bool recurse, bool ntFamily) {
    bool result = true;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!search.valid())
        return true;  // nothing there, or no such folder
    do {
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder ? !recurse || IsDotEntry(found.cFileName) : _stricmp(found.cFileName, kKeptFile) == 0)
            continue;
        const std::string name = ReachableName(found);
        if (name.empty()) {  // a name that cannot be given back to the system
            LogFailure(folder + "\\" + found.cFileName, isFolder ? kFolderProblem : kFileProblem);
            result = false;
            continue;
        }
        const std::string child = folder + "\\" + name;
        if (!isFolder) {
            if (DeleteFound(child, found, ntFamily) == 0) {
                LogFailure(folder + "\\" + found.cFileName, kFileProblem);
                result = false;
            }
        } else if (!RemoveSubfolder(child, IsLink(found.dwFileAttributes, found.dwReserved0), ntFamily)) {
            result = false;
        }
    } while (FindNextFileA(search.get(), &found));
    return result;
}

// Whether the folder a caller named is itself a link, by what a search shows.
bool NamedFolderIsLink(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    WIN32_FIND_DATAA found;
    FindHandle search(FindFirstFileA(folder.c_str(), &found));
    return !search.valid() || IsLink(found.dwFileAttributes, found.dwReserved0);
}

// The walk of the folder a caller named.  A folder that is itself a link is
// not entered: what it shows is another folder's contents, which nobody
// asked to remove; it is recorded as a folder that stays.
bool RemoveNamedFolder(const std::string& folder, bool recurse) {
    const bool ntFamily = OsClass() == kNtFamily;
    if (NamedFolderIsLink(folder)) {
        LogFailure(folder, kFolderProblem);
        return false;
    }
    std::optional<FileHandle> held;
    if (ntFamily) {
        switch (PinFolder(folder, &held)) {
            case Pin::kGone:
            case Pin::kNotFolder:
                return true;  // nothing inside to remove
            case Pin::kLink:
            case Pin::kFailed:
                LogFailure(folder, kFolderProblem);
                return false;
            case Pin::kHeld:
                break;
        }
    }
    return RemoveContents(folder, recurse, ntFamily);
}

// --- the root rule

bool IsDriveName(const std::string& name) {
    return name.size() == 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

std::vector<std::string> SplitNames(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find_first_of("\\/", start);
        names.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return names;
        start = end + 1;
    }
}

// An allow-list, not a count: a device path can name a volume's root in any
// number of names ("\\?\GLOBALROOT\Device\HarddiskVolume1").
bool IsFolderBelowRoot(const std::string& full) {
    const std::vector<std::string> parts = SplitNames(full);
    size_t first = 0;  // the first name below the root
    const auto part = [&](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
    if (IsDriveName(part(0))) {
        first = 1;  // X:\name
    } else if (parts.size() >= 2 && part(0).empty() && part(1).empty()) {
        if (part(2) == "?" && IsDriveName(part(3)))
            first = 4;  // \\?\X:\name
        else if (part(2) == "?" && _stricmp(part(3).c_str(), "UNC") == 0)
            first = 6;  // \\?\UNC\server\share\name
        else if (part(2) != "?" && part(2) != ".")
            first = 4;  // \\server\share\name
        else
            return false;  // every other device path
        if (!IsDriveName(part(3)))
            for (size_t i = first - 2; i < first; ++i)
                if (part(i).empty() || part(i) == "." || part(i) == ".." || part(i) == "?")
                    return false;  // no server or no share
    } else {
        return false;
    }
    if (parts.size() <= first)
        return false;
    for (size_t i = first; i < parts.size(); ++i)
        if (parts[i].empty() || parts[i] == "." || parts[i] == "..")
            return false;  // a verbatim path keeps what would climb
    return true;
}

}  // namespace

bool ResolveRemovalFolder(const char* folder, std::string* resolved) {
    if (folder == nullptr || *folder == '\0')
        return false;
    const DWORD needed = GetFullPathNameA(folder, 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::string text(needed, '\0');
    const DWORD length = GetFullPathNameA(folder, needed, &text[0], nullptr);
    if (length == 0 || length >= needed)
        return false;
    text.resize(length);
    while (!text.empty() && (text.back() == '\\' || text.back() == '/'))
        text.pop_back();
    if (!IsFolderBelowRoot(text))
        return false;
    *resolved = text;
    return true;
}

bool IO_RecursiveRM(const char* folder) {
    const std::string path = folder != nullptr ? folder : "";
    std::string full;
    if (path.size() < kShortestFolder || !ResolveRemovalFolder(path.c_str(), &full)) {
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
    return DeleteFound(name, found, OsClass() == kNtFamily);
}

DWORD RemoveFileIfSafe(const char* path, DWORD* reason) {
    if (!IsSafeToDestroy(path, reason))
        return 0;
    return DeleteFileWithRetry(path);
}
