// Files and folders on the simulated drives.  Every Windows path is folded to
// a drive and a list of names, then matched against the drive's host folder
// name by name without regard to case.  Open files are host file descriptors
// behind kernel-object handles; their access and share modes are checked
// against each other as Windows does (within this process).  Read-only files
// and folders are host entries without the owner's write permission.  A
// host symbolic link is what Windows calls a reparse point: reported with
// FILE_ATTRIBUTE_REPARSE_POINT (and the directory bit when it leads to a
// folder), never entered by a removal of its own, removed as itself; a
// file-system filter's reparse point is an extended attribute holding its
// tag.  Names are UTF-8 on the host and code page 1252 in the calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ansi_names.h"
#include "disk_files.h"
#include "drives_state.h"
#include "errors.h"
#include "faults.h"
#include "files.h"
#include "files_internal.h"
#include "handles.h"
#include "machine.h"
#include "media_state.h"
#include "version.h"

namespace hostwin::detail {
namespace {

// The specific rights that GENERIC_READ and GENERIC_WRITE stand for.
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kErrorWriteFault = 29;
constexpr DWORD kErrorDiskFull = 112;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }


// A Windows path resolved against the drives.
struct Resolved {
    std::string windows;     // "X:\a\b", folded, names as given
    std::string host;        // the entry's host path (matched names where they exist)
    std::string parentHost;  // the host folder that holds it
    std::string lastName;    // the last name as given ("" for a root)
    bool isRoot = false;
    bool exists = false;
    bool link = false;  // the entry itself is a host symbolic link
    struct stat st {};  // what the link leads to, where it leads anywhere
};

// Fills exists, link and st for out->host: a link that leads nowhere is
// still there, as a link to a file.
void StatEntry(Resolved* out) {
    struct stat own;
    out->link = ::lstat(out->host.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
    out->exists = ::stat(out->host.c_str(), &out->st) == 0;
    if (out->link && !out->exists) {
        out->exists = true;
        out->st = own;
    }
}

// Folds `path` into "X:" and its names.  "C:name" is relative to the current
// folder when C: is the current drive, else to C:'s root: a process keeps a
// current folder for its current drive only.
DWORD FoldPath(const std::string& path, bool wildcardsInLast, std::string* drive, std::vector<std::string>* parts) {
    if (path.empty())
        return ERROR_PATH_NOT_FOUND;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return ERROR_PATH_NOT_FOUND;  // network and device names are not simulated
    const std::string cwd = CurrentDirectory();
    std::string full;
    if (path.size() >= 2 && path[1] == ':') {
        if (!std::isalpha(static_cast<unsigned char>(path[0])))
            return ERROR_INVALID_NAME;
        const bool currentDrive = cwd.size() >= 2 && Upper(cwd[0]) == Upper(path[0]);
        if (path.size() >= 3 && IsSeparator(path[2]))
            full = path;
        else
            full = (currentDrive ? cwd : path.substr(0, 2)) + "\\" + path.substr(2);
    } else if (IsSeparator(path[0])) {
        full = cwd.substr(0, 2) + path;
    } else {
        full = cwd + "\\" + path;
    }
    *drive = full.substr(0, 2);
    parts->clear();
    size_t start = 2;
    while (start <= full.size()) {
        const size_t end = std::min(FindSeparator(full, start), full.size());
        std::string name = full.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!parts->empty())
                parts->pop_back();  // ".." at a root stays at the root
            continue;
        }
        // Windows drops every trailing dot and blank from the last name, and
        // one trailing dot from the others (as GetFullPathNameA does).
        if (end == full.size()) {
            while (!name.empty() && (name.back() == '.' || name.back() == ' '))
                name.pop_back();
        } else if (name.back() == '.') {
            name.pop_back();
        }
        if (!name.empty())
            parts->push_back(name);
    }
    for (size_t i = 0; i < parts->size(); ++i) {
        const std::string& part = (*parts)[i];
        for (size_t k = 0; k < part.size(); ++k) {
            const auto c = static_cast<unsigned char>(part[k]);
            if (IsLeadByte(c)) {
                ++k;  // a double-byte character: its second byte is no symbol
                continue;
            }
            const bool wildcard = c == '*' || c == '?';
            if (c < 32 || std::strchr("<>\"|:", c) != nullptr || (wildcard && !(wildcardsInLast && i + 1 == parts->size())))
                return ERROR_INVALID_NAME;
        }
    }
    return ERROR_SUCCESS;
}

// The host name in `folder` for a Windows name (`name` in UTF-8, `ansi` as
// given): the exact name if present, else the first that differs only in
// case, else the entry whose short name it is; "" when there is none.
std::string MatchEntry(const std::string& folder, const std::string& name, const std::string& ansi,
                       bool shortNames) {
    struct stat st;
    if (::lstat((folder + "/" + name).c_str(), &st) == 0)
        return name;
    const bool maybeShort = shortNames && ansi.find('~') != std::string::npos && IsShortName(ansi);
    std::string found, byShortName;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            if (strcasecmp(e->d_name, name.c_str()) == 0) {
                found = e->d_name;
                break;
            }
            if (maybeShort && byShortName.empty() && strcasecmp(ShortNameFor(e->d_name).c_str(), ansi.c_str()) == 0)
                byShortName = e->d_name;
        }
        ::closedir(dir);
    }
    return found.empty() ? byShortName : found;
}

// Nearly every path arrives with its names in the host's own case: one stat
// of the whole exact-case path then stands for the walk below, as it can
// only succeed where each folder on the way exists under exactly that name
// (the walk would pick the same names).  False leaves the walk to decide:
// a missing name, a name in another case, or a name given with wildcards.
bool ResolveExactCase(const std::string& hostFolder, const std::string& drive, const std::vector<std::string>& parts,
                      const std::vector<std::string>& hostParts, Resolved* out) {
    if (parts.empty() || HasWildcards(parts.back()))
        return false;
    std::string host = hostFolder;
    for (size_t i = 0; i + 1 < hostParts.size(); ++i)
        host += "/" + hostParts[i];
    const std::string parent = host;
    host += "/" + hostParts.back();
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0)
        return false;
    out->windows = drive + "\\";
    for (size_t i = 0; i + 1 < parts.size(); ++i)
        out->windows += parts[i] + "\\";
    out->windows += parts.back();
    out->lastName = parts.back();
    out->parentHost = parent;
    out->host = host;
    StatEntry(out);
    return true;
}

DWORD Resolve(const std::string& path, bool wildcardsInLast, Resolved* out) {
    std::string drive;
    std::vector<std::string> parts;
    if (DWORD error = FoldPath(path, wildcardsInLast, &drive, &parts); error != ERROR_SUCCESS)
        return error;
    DriveInfo info;
    if (!FindDrive(drive[0], &info))
        return ERROR_PATH_NOT_FOUND;
    if (!DriveHasMedium(drive[0]))
        return NoMediumError(drive[0]);
    *out = Resolved{};
    out->windows = drive + "\\";
    std::vector<std::string> hostParts;
    for (const std::string& part : parts)
        hostParts.push_back(AnsiToHost(part));
    if (ResolveExactCase(info.hostFolder, drive, parts, hostParts, out))
        return ERROR_SUCCESS;
    std::string host = info.hostFolder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string match = MatchEntry(host, hostParts[i], parts[i], info.shortNames);
        struct stat st;
        if (match.empty() || ::stat((host + "/" + match).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return ERROR_PATH_NOT_FOUND;
        host += "/" + match;
        out->windows += parts[i] + "\\";
    }
    if (parts.empty()) {
        out->isRoot = true;
        out->windows = drive + "\\";
        out->parentHost = out->host = host;
    } else {
        out->lastName = parts.back();
        out->windows += parts.back();
        out->parentHost = host;
        std::string match =
            HasWildcards(parts.back()) ? std::string() : MatchEntry(host, hostParts.back(), parts.back(), info.shortNames);
        out->host = host + "/" + (match.empty() ? hostParts.back() : match);
    }
    StatEntry(out);
    out->link = out->link && !out->isRoot;  // a drive's folder may be a link on the host
    return ERROR_SUCCESS;
}

bool ReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

bool FolderReadOnly(const std::string& hostFolder) {
    struct stat st;
    return ::stat(hostFolder.c_str(), &st) == 0 && ReadOnly(st);
}

// Hidden and system have no host equivalent: they live in an extended
// attribute of the host entry, so that every process of the machine sees them.
constexpr char kAttributesXattr[] = "user.hostwin.attributes";
constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

DWORD StoredAttributes(const std::string& host) {
    char text[16] = {};
    if (::getxattr(host.c_str(), kAttributesXattr, text, sizeof text - 1) <= 0)
        return 0;
    return static_cast<DWORD>(std::strtoul(text, nullptr, 16)) & kStoredAttributes;
}

bool StoreAttributes(const std::string& host, DWORD attributes) {
    attributes &= kStoredAttributes;
    if (attributes == 0)
        return ::removexattr(host.c_str(), kAttributesXattr) == 0 || errno == ENODATA;
    const std::string text = std::to_string(attributes);
    return ::setxattr(host.c_str(), kAttributesXattr, text.data(), text.size(), 0) == 0;
}

// A filter's reparse point: its tag in hexadecimal ("0" for one that
// reports none).
constexpr char kReparseXattr[] = "user.hostwin.reparse";

bool StoredReparseTag(const std::string& host, DWORD* tag) {
    char text[16] = {};
    if (::getxattr(host.c_str(), kReparseXattr, text, sizeof text - 1) <= 0)
        return false;
    *tag = static_cast<DWORD>(std::strtoul(text, nullptr, 16));
    return true;
}

// A link's own attributes (read-only, hidden, system), by the link's host
// identity: the host keeps no extended attributes on a symbolic link.
std::mutex g_linkMutex;
std::map<std::pair<dev_t, ino_t>, DWORD>& LinkAttributeTable() {
    static auto* table = new std::map<std::pair<dev_t, ino_t>, DWORD>;  // a late close may still ask
    return *table;
}

DWORD LinkOwnAttributes(const std::string& host) {
    struct stat own;
    if (::lstat(host.c_str(), &own) != 0)
        return 0;
    std::lock_guard lock(g_linkMutex);
    const auto it = LinkAttributeTable().find({own.st_dev, own.st_ino});
    return it == LinkAttributeTable().end() ? 0 : it->second;
}

void SetLinkOwnAttributes(const std::string& host, DWORD attributes) {
    struct stat own;
    if (::lstat(host.c_str(), &own) != 0)
        return;
    std::lock_guard lock(g_linkMutex);
    LinkAttributeTable()[{own.st_dev, own.st_ino}] =
        attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

// A link that goes takes its attributes with it (its inode may be reused).
void ForgetLink(const std::string& host) {
    struct stat own;
    if (::lstat(host.c_str(), &own) != 0)
        return;
    std::lock_guard lock(g_linkMutex);
    LinkAttributeTable().erase({own.st_dev, own.st_ino});
}

// The entry's attributes and, where asked for, its reparse tag (0 when it
// is no reparse point), from one look at each of its stored attributes.
DWORD Attributes(const Resolved& r, DWORD* reparseTag = nullptr) {
    DWORD attributes = S_ISDIR(r.st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    DWORD tag = 0;
    if (r.link) {
        tag = IO_REPARSE_TAG_SYMLINK;
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT | LinkOwnAttributes(r.host);
    } else {
        if (StoredReparseTag(r.host, &tag))
            attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        else
            tag = 0;
        if (ReadOnly(r.st))
            attributes |= FILE_ATTRIBUTE_READONLY;
        attributes |= StoredAttributes(r.host);
    }
    if (reparseTag != nullptr)
        *reparseTag = tag;
    return attributes;
}

FILETIME ToFileTime(const struct timespec& t) {
    constexpr ULONGLONG kUnixEpochSeconds = 11644473600ull;  // 1601-01-01 to 1970-01-01
    const ULONGLONG ticks = (static_cast<ULONGLONG>(t.tv_sec) + kUnixEpochSeconds) * 10'000'000ull +
                            static_cast<ULONGLONG>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// --- open files and their share modes

}  // namespace

bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL | kFileReadData)) != 0; }
bool Writes(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData)) != 0;
}

namespace {

bool Deletes(DWORD access) { return (access & (DELETE | GENERIC_ALL)) != 0; }

struct OpenEntry {
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
    std::string host;  // where it is now: a folder above it cannot be renamed
};

std::mutex g_openMutex;
// Never destroyed: a handle still open when the process exits is closed by
// the handle table's own destruction, which may come after this one's.
std::map<unsigned long long, OpenEntry>& OpenTable() {
    static auto* table = new std::map<unsigned long long, OpenEntry>;
    return *table;
}

bool Conflicts(DWORD access, DWORD share, const OpenEntry& other) {
    return ShareConflict(access, share, other.access, other.share);
}

bool SharingConflict(const struct stat& st, DWORD access, DWORD share) {
    for (const auto& [id, entry] : OpenTable())
        if (entry.device == st.st_dev && entry.inode == st.st_ino && Conflicts(access, share, entry))
            return true;
    return false;
}

bool IsOpen(const struct stat& st) {
    for (const auto& [id, entry] : OpenTable())
        if (entry.device == st.st_dev && entry.inode == st.st_ino)
            return true;
    return false;
}

// A name whose delete is pending stays until its last handle closes (or, with
// POSIX semantics, until the handle that asked closes); meanwhile nothing
// opens it.  Keyed by identity, guarded by g_openMutex.
struct PendingDelete {
    std::string host;
    bool posix = false;
    unsigned long long setter = 0;  // the open that asked
    bool directory = false;
    bool link = false;
};
using Identity_t = std::pair<dev_t, ino_t>;
std::map<Identity_t, PendingDelete>& PendingDeletes() {
    static auto* table = new std::map<Identity_t, PendingDelete>;  // as OpenTable
    return *table;
}

bool DeletePendingAt(const struct stat& st, const std::string& host) {
    const auto it = PendingDeletes().find({st.st_dev, st.st_ino});
    return it != PendingDeletes().end() && it->second.host == host;
}

// Call with g_openMutex held, after the closing open left the table.
void FinishPendingDelete(const Identity_t& key, unsigned long long closing) {
    const auto it = PendingDeletes().find(key);
    if (it == PendingDeletes().end())
        return;
    const PendingDelete& p = it->second;
    bool stillOpen = false;
    for (const auto& [id, entry] : OpenTable())
        stillOpen = stillOpen || (entry.device == key.first && entry.inode == key.second);
    if (stillOpen && !(p.posix && p.setter == closing))
        return;
    if (p.link) {
        ForgetLink(p.host);
        ::unlink(p.host.c_str());
    } else if (p.directory) {
        ::rmdir(p.host.c_str());  // something made inside meanwhile keeps it, as on Windows
    } else {
        ::unlink(p.host.c_str());
    }
    PendingDeletes().erase(it);
}

// What every handle to a disk object knows: where the object is, and
// whether the handle names a link itself.
class DiskObject : public KernelObject {
public:
    DiskObject(DWORD access, unsigned long long openId, bool linkItself)
        : access_(access), openId_(openId), linkItself_(linkItself) {}
    ~DiskObject() override {
        std::lock_guard lock(g_openMutex);
        const auto it = OpenTable().find(openId_);
        if (it == OpenTable().end())
            return;
        const Identity_t key{it->second.device, it->second.inode};
        OpenTable().erase(it);
        FinishPendingDelete(key, openId_);
    }
    unsigned long long openId() const { return openId_; }
    bool linkItself() const { return linkItself_; }
    // The object as it is now, found by its host path (which renames update).
    Resolved Entry() const {
        Resolved r;
        {
            std::lock_guard lock(g_openMutex);
            const auto it = OpenTable().find(openId_);
            r.host = it == OpenTable().end() ? std::string() : it->second.host;
        }
        StatEntry(&r);
        if (!linkItself_ && r.link) {  // the handle holds what the link led to
            r.link = false;
            char* real = ::realpath(r.host.c_str(), nullptr);
            if (real != nullptr) {
                r.host = real;
                std::free(real);
            }
        }
        return r;
    }
    DWORD access() const { return access_; }

protected:
    DWORD access_;
    unsigned long long openId_;
    bool linkItself_;
};

class DiskFile : public DiskObject {
public:
    DiskFile(int fd, DWORD access, unsigned long long openId) : DiskObject(access, openId, false), fd_(fd) {}
    ~DiskFile() override { ::close(fd_); }
    int fd() const { return fd_; }

    DWORD Read(void* buffer, DWORD size, DWORD* read) override {
        std::lock_guard lock(mutex_);
        *read = 0;
        if (!Reads(access_))
            return ERROR_ACCESS_DENIED;
        const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(position_));
        if (n < 0)
            return ERROR_INVALID_FUNCTION;
        *read = static_cast<DWORD>(n);
        position_ += static_cast<ULONGLONG>(n);
        return ERROR_SUCCESS;  // at the end of the file: success with 0 bytes
    }

    DWORD Write(const void* buffer, DWORD size, DWORD* written) override {
        std::lock_guard lock(mutex_);
        *written = 0;
        if (!Writes(access_))
            return ERROR_ACCESS_DENIED;
        const ssize_t n = ::pwrite(fd_, buffer, size, static_cast<off_t>(position_));
        if (n < 0)
            return errno == ENOSPC ? kErrorDiskFull : kErrorWriteFault;
        *written = static_cast<DWORD>(n);
        position_ += static_cast<ULONGLONG>(n);
        return ERROR_SUCCESS;
    }

    DWORD Flush() override { return ERROR_SUCCESS; }

    DWORD Seek(LONGLONG distance, DWORD method, ULONGLONG* position) override {
        std::lock_guard lock(mutex_);
        LONGLONG base;
        if (method == FILE_BEGIN) {
            base = 0;
        } else if (method == FILE_CURRENT) {
            base = static_cast<LONGLONG>(position_);
        } else if (method == FILE_END) {
            struct stat st;
            if (::fstat(fd_, &st) != 0)
                return ERROR_INVALID_HANDLE;
            base = st.st_size;
        } else {
            return ERROR_INVALID_PARAMETER;
        }
        if (base + distance < 0)
            return ERROR_NEGATIVE_SEEK;
        position_ = static_cast<ULONGLONG>(base + distance);
        *position = position_;
        return ERROR_SUCCESS;
    }

    DWORD Size(ULONGLONG* size) override {
        struct stat st;
        if (::fstat(fd_, &st) != 0)
            return ERROR_INVALID_HANDLE;
        *size = static_cast<ULONGLONG>(st.st_size);
        return ERROR_SUCCESS;
    }

    DWORD SetEnd() override {
        std::lock_guard lock(mutex_);
        if (!Writes(access_))
            return ERROR_ACCESS_DENIED;
        if (::ftruncate(fd_, static_cast<off_t>(position_)) != 0)
            return errno == ENOSPC || errno == EFBIG ? kErrorDiskFull : kErrorWriteFault;
        return ERROR_SUCCESS;
    }

private:
    std::mutex mutex_;
    int fd_;
    ULONGLONG position_ = 0;
};

// A folder opened with FILE_FLAG_BACKUP_SEMANTICS, or a link opened as
// itself with FILE_FLAG_OPEN_REPARSE_POINT: a handle, but no data.
class DiskEntry : public DiskObject {
public:
    using DiskObject::DiskObject;
    DWORD Read(void*, DWORD, DWORD* read) override {
        *read = 0;
        return ERROR_INVALID_FUNCTION;
    }
    DWORD Write(const void*, DWORD, DWORD* written) override {
        *written = 0;
        return ERROR_INVALID_FUNCTION;
    }
};

// Call with g_openMutex held.
unsigned long long AddOpen(const struct stat& st, DWORD access, DWORD share, const std::string& host) {
    static unsigned long long nextId = 0;
    const unsigned long long id = ++nextId;
    OpenTable()[id] = OpenEntry{st.st_dev, st.st_ino, access, share, host};
    return id;
}

// Call with g_openMutex held.
HANDLE RegisterOpen(int fd, const struct stat& st, DWORD access, DWORD share, const std::string& host) {
    return NewHandle(std::make_shared<DiskFile>(fd, access, AddOpen(st, access, share, host)));
}

// The identity that sharing is judged on: a link's own, or what it leads to.
struct stat Identity(const Resolved& r) {
    struct stat own = r.st;
    if (r.link)
        ::lstat(r.host.c_str(), &own);
    return own;
}

// A folder, or a link as itself.  Call with g_openMutex held.
HANDLE OpenEntryHandle(const Resolved& r, DWORD access, DWORD share, bool linkItself, DWORD* error) {
    const struct stat id = linkItself ? Identity(r) : r.st;
    if (DeletePendingAt(id, r.host)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (SharingConflict(id, access, share)) {
        *error = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    *error = ERROR_SUCCESS;
    return NewHandle(std::make_shared<DiskEntry>(access, AddOpen(id, access, share, r.host), linkItself));
}

HANDLE OpenExisting(const Resolved& r, DWORD access, DWORD share, DWORD disposition, DWORD flags, DWORD* error) {
    if (disposition == CREATE_NEW) {
        *error = ERROR_FILE_EXISTS;
        return INVALID_HANDLE_VALUE;
    }
    const bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (disposition == TRUNCATE_EXISTING && !Writes(access)) {
        *error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (ReadOnly(r.st) && (Writes(access) || truncate)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // Replacing a hidden or system file must name those attributes again.
    const DWORD stored = StoredAttributes(r.host);
    if (disposition == CREATE_ALWAYS && (stored & ~flags) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(g_openMutex);
    if (DeletePendingAt(r.st, r.host)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (SharingConflict(r.st, access, share)) {
        *error = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(r.host.c_str(), (Writes(access) || truncate ? O_RDWR : O_RDONLY) | (truncate ? O_TRUNC : 0));
    if (fd < 0) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // CREATE_ALWAYS and OPEN_ALWAYS succeed on an existing file and say so.
    *error = (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return RegisterOpen(fd, r.st, access, share, r.host);
}

}  // namespace

// An open that asks for none of reading, writing or deleting takes no part
// in sharing, on either side.
bool ShareConflict(DWORD access, DWORD share, DWORD otherAccess, DWORD otherShare) {
    const bool mine = Reads(access) || Writes(access) || Deletes(access);
    const bool theirs = Reads(otherAccess) || Writes(otherAccess) || Deletes(otherAccess);
    if (!mine || !theirs)
        return false;
    return (Reads(access) && !(otherShare & FILE_SHARE_READ)) ||
           (Writes(access) && !(otherShare & FILE_SHARE_WRITE)) ||
           (Deletes(access) && !(otherShare & FILE_SHARE_DELETE)) ||
           (Reads(otherAccess) && !(share & FILE_SHARE_READ)) ||
           (Writes(otherAccess) && !(share & FILE_SHARE_WRITE)) ||
           (Deletes(otherAccess) && !(share & FILE_SHARE_DELETE));
}

HANDLE OpenDiskFile(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    DWORD* error) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        *error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    Resolved r;
    if ((*error = Resolve(path, false, &r)) != ERROR_SUCCESS)
        return INVALID_HANDLE_VALUE;
    const bool existingOpen = disposition == OPEN_EXISTING || disposition == OPEN_ALWAYS;
    if (r.exists && r.link && (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
        // The link itself; a folder link still needs backup semantics.
        const bool opens = existingOpen && (!S_ISDIR(r.st.st_mode) || (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0);
        if (!opens) {
            *error = disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        std::lock_guard lock(g_openMutex);
        return OpenEntryHandle(r, access, share, true, error);
    }
    if (r.exists && S_ISDIR(r.st.st_mode)) {
        // A folder opens only for its handle, and only when asked to.
        const bool opens = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0 && existingOpen;
        if (!opens) {
            *error = disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        std::lock_guard lock(g_openMutex);
        return OpenEntryHandle(r, access, share, false, error);
    }
    if (r.exists)
        return OpenExisting(r, access, share, disposition, flags, error);
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        *error = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (FolderReadOnly(r.parentHost)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // A file created read-only still gives its creator the access asked for.
    const int fd = ::open(r.host.c_str(), O_RDWR | O_CREAT | O_EXCL, (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    *error = ERROR_SUCCESS;
    std::lock_guard lock(g_openMutex);
    return RegisterOpen(fd, st, access, share, r.host);
}

bool ResolveHostPath(const std::string& windowsPath, std::string* hostPath, DWORD* error) {
    Resolved r;
    if ((*error = Resolve(windowsPath, false, &r)) != ERROR_SUCCESS)
        return false;
    *hostPath = r.host;
    return true;
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kErrorNotSameDevice = 17;

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// Windows' wildcards, without regard to case: "*" any run, "?" one character.
bool Matches(const char* pattern, const char* name) {
    for (; *pattern != '\0'; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest))
                    return true;
                if (*rest == '\0')
                    return false;
            }
        }
        if (*name == '\0')
            return false;
        if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                                   std::tolower(static_cast<unsigned char>(*name)))
            return false;
    }
    return *name == '\0';
}

// "X.*" also finds "X" without any extension, as Windows' "*.*" finds all.
bool PatternFinds(const std::string& pattern, const std::string& name) {
    if (Matches(pattern.c_str(), name.c_str()))
        return true;
    return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
           name.find('.') == std::string::npos && Matches(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
}

std::mutex g_hookMutex;
std::function<void(const std::string&)>& SearchHookSlot() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

std::function<void(const std::string&)> SearchHook() {
    std::lock_guard lock(g_hookMutex);
    return SearchHookSlot();
}

class FindSearch : public KernelObject {
public:
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

bool FillFindData(const Resolved& r, bool shortNames, WIN32_FIND_DATAA* data) {
    const std::string& host = r.host;
    const struct stat& st = r.st;
    const std::string hostName = host.substr(host.find_last_of('/') + 1);
    const std::string name = HostToAnsi(hostName);
    if (name.size() >= MAX_PATH)
        return false;
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = Attributes(r, &data->dwReserved0);
    if (shortNames && hostName != "." && hostName != "..") {
        const std::string alternate = ShortNameFor(hostName);
        std::memcpy(data->cAlternateFileName, alternate.c_str(), alternate.size() + 1);
    }
    data->ftCreationTime = ToFileTime(st.st_ctim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    const auto size = S_ISDIR(st.st_mode) ? 0ull : static_cast<ULONGLONG>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
    return true;
}

std::vector<WIN32_FIND_DATAA> Search(const Resolved& r) {
    std::vector<WIN32_FIND_DATAA> found;
    WIN32_FIND_DATAA data;
    DriveInfo drive;
    const bool knownDrive = FindDrive(r.windows[0], &drive);
    if (!HasWildcards(r.lastName)) {
        if (r.exists && FillFindData(r, drive.shortNames, &data))
            found.push_back(data);
        return found;
    }
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(r.parentHost.c_str())) {
        while (dirent* e = ::readdir(dir))
            names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    const bool atRoot = knownDrive && r.parentHost == drive.hostFolder;
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    for (const std::string& name : names) {
        if (atRoot && (name == "." || name == ".."))
            continue;  // a drive's root has no "." or ".."
        // Windows matches a pattern against the names as the caller sees them.
        if (!PatternFinds(r.lastName, HostToAnsi(name)) &&
            !(drive.shortNames && PatternFinds(r.lastName, ShortNameFor(name))))
            continue;
        Resolved entry;
        entry.host = r.parentHost + "/" + name;
        StatEntry(&entry);
        if (entry.exists && FillFindData(entry, drive.shortNames, &data))
            found.push_back(data);
    }
    return found;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (FailIfInjected("FindFirstFileA"))
        return INVALID_HANDLE_VALUE;
    const std::string path = lpFileName ? lpFileName : "";
    // A trailing separator leaves nothing to look for, even after a folder.
    if (path.empty() || EndsWithSeparator(path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Resolved r;
    if (DWORD error = Resolve(path, true, &r); error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindSearch>();
    search->entries = Search(r);
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search->entries[search->next++];
    HANDLE handle = NewHandle(search);
    if (const auto hook = SearchHook())
        hook(path);
    return handle;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    auto search = std::dynamic_pointer_cast<FindSearch>(LookUp(hFindFile));
    if (!search)
        return Fail(ERROR_INVALID_HANDLE);
    if (search->next >= search->entries.size())
        return Fail(ERROR_NO_MORE_FILES);
    *lpFindFileData = search->entries[search->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    if (!std::dynamic_pointer_cast<FindSearch>(LookUp(hFindFile)))
        return Fail(ERROR_INVALID_HANDLE);
    return CloseHandle(hFindFile);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (FailIfInjected("DeleteFileA"))
        return FALSE;
    Resolved r;
    if (DWORD error = Resolve(lpFileName ? lpFileName : "", false, &r); error != ERROR_SUCCESS)
        return Fail(error);
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (S_ISDIR(r.st.st_mode) || FolderReadOnly(r.parentHost))
        return Fail(ERROR_ACCESS_DENIED);  // a folder link goes with RemoveDirectoryA
    if ((Attributes(r) & FILE_ATTRIBUTE_READONLY) != 0)
        return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(g_openMutex);
    if (DeletePendingAt(Identity(r), r.host))
        return Fail(ERROR_ACCESS_DENIED);
    // Deleting is an open for DELETE that shares everything.
    if (SharingConflict(Identity(r), DELETE, kShareAll))
        return Fail(ERROR_SHARING_VIOLATION);
    if (r.link) {  // the link, not its file
        ForgetLink(r.host);
        return ::unlink(r.host.c_str()) == 0 ? TRUE : Fail(ERROR_ACCESS_DENIED);
    }
    // Windows removes a file that is still open (shared for deletion) at its
    // last close; the host removes the name at once.
    if (::unlink(r.host.c_str()) != 0)
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    if (FailIfInjected("CreateDirectoryA"))
        return FALSE;
    Resolved r;
    if (DWORD error = Resolve(lpPathName ? lpPathName : "", false, &r); error != ERROR_SUCCESS)
        return Fail(error);
    if (r.exists)
        return Fail(ERROR_ALREADY_EXISTS);
    if (FolderReadOnly(r.parentHost) || ::mkdir(r.host.c_str(), 0755) != 0)
        return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    if (FailIfInjected("RemoveDirectoryA"))
        return FALSE;
    Resolved r;
    if (DWORD error = Resolve(lpPathName ? lpPathName : "", false, &r); error != ERROR_SUCCESS)
        return Fail(error);
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!S_ISDIR(r.st.st_mode))
        return Fail(ERROR_DIRECTORY);
    if (r.isRoot || FolderReadOnly(r.parentHost) || (r.link && (Attributes(r) & FILE_ATTRIBUTE_READONLY) != 0))
        return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard lock(g_openMutex);
    if (DeletePendingAt(Identity(r), r.host))
        return Fail(ERROR_ACCESS_DENIED);
    if (SharingConflict(Identity(r), DELETE, kShareAll))
        return Fail(ERROR_SHARING_VIOLATION);  // a handle pins it
    if (r.link) {  // the link goes, whatever its folder holds
        ForgetLink(r.host);
        return ::unlink(r.host.c_str()) == 0 ? TRUE : Fail(ERROR_ACCESS_DENIED);
    }
    if (::rmdir(r.host.c_str()) != 0)
        return Fail(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    Resolved r;
    if (DWORD error = Resolve(lpFileName ? lpFileName : "", false, &r); error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!r.exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    {
        std::lock_guard lock(g_openMutex);
        if (DeletePendingAt(Identity(r), r.host)) {  // it opens the name, as everything else does
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_FILE_ATTRIBUTES;
        }
    }
    return Attributes(r);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    Resolved r;
    if (DWORD error = Resolve(lpFileName ? lpFileName : "", false, &r); error != ERROR_SUCCESS)
        return Fail(error);
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (r.link)
        return TRUE;  // the link's own attributes, which are not kept; never its target's
    if (!StoreAttributes(r.host, dwFileAttributes))
        return Fail(ERROR_NOT_SUPPORTED);  // the host file system keeps no extended attributes
    const mode_t mode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? (r.st.st_mode & ~0222) : (r.st.st_mode | S_IWUSR);
    ::chmod(r.host.c_str(), mode & 07777);
    return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    Resolved r;
    if (DWORD error = Resolve(lpPathName ? lpPathName : "", false, &r); error != ERROR_SUCCESS)
        return Fail(error);
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (!S_ISDIR(r.st.st_mode))
        return Fail(ERROR_DIRECTORY);
    StoreCurrentDirectory(r.windows);
    return TRUE;
}

namespace {

BOOL Rename(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    Resolved from, to;
    if (DWORD error = Resolve(lpExistingFileName ? lpExistingFileName : "", false, &from); error != ERROR_SUCCESS)
        return Fail(error);
    if (!from.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (DWORD error = Resolve(lpNewFileName ? lpNewFileName : "", false, &to); error != ERROR_SUCCESS)
        return Fail(error);
    if (std::toupper(static_cast<unsigned char>(from.windows[0])) != std::toupper(static_cast<unsigned char>(to.windows[0])))
        return Fail(kErrorNotSameDevice);
    if (from.isRoot || to.isRoot || FolderReadOnly(from.parentHost) || FolderReadOnly(to.parentHost))
        return Fail(ERROR_ACCESS_DENIED);
    const bool sameEntry = to.exists && Identity(to).st_ino == Identity(from).st_ino &&
                           Identity(to).st_dev == Identity(from).st_dev;
    if (to.exists && !sameEntry) {
        if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0)
            return Fail(ERROR_ALREADY_EXISTS);
        if (S_ISDIR(to.st.st_mode) || S_ISDIR(from.st.st_mode) || (Attributes(to) & FILE_ATTRIBUTE_READONLY) != 0)
            return Fail(ERROR_ACCESS_DENIED);
    }
    std::lock_guard lock(g_openMutex);
    if (DeletePendingAt(Identity(from), from.host))
        return Fail(ERROR_ACCESS_DENIED);
    // A rename opens the object for DELETE, sharing everything; a file that
    // is open is never replaced, whatever its handles share.
    if (SharingConflict(Identity(from), DELETE, kShareAll))
        return Fail(ERROR_SHARING_VIOLATION);
    if (to.exists && !sameEntry && IsOpen(Identity(to)))
        return Fail(ERROR_ACCESS_DENIED);
    const std::string below = from.host + "/";
    if (!from.link && S_ISDIR(from.st.st_mode))
        for (const auto& [id, entry] : OpenTable())
            if (entry.host.compare(0, below.size(), below) == 0)
                return Fail(ERROR_ACCESS_DENIED);  // something inside is open
    if (::rename(from.host.c_str(), to.host.c_str()) != 0)
        return Fail(ERROR_ACCESS_DENIED);
    for (auto& [id, entry] : OpenTable())
        if (entry.host == from.host)
            entry.host = to.host;
    return TRUE;
}

}  // namespace

// Windows 95, 98 and Me export MoveFileExA but do not implement it.
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (FailIfInjected("MoveFileExA"))
        return FALSE;
    if (CurrentOsVersion().platform == VER_PLATFORM_WIN32_WINDOWS)
        return Fail(ERROR_CALL_NOT_IMPLEMENTED);
    return Rename(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    if (FailIfInjected("MoveFileA"))
        return FALSE;
    return Rename(lpExistingFileName, lpNewFileName, 0);
}

namespace {

std::shared_ptr<DiskObject> DiskObjectOf(HANDLE handle) { return std::dynamic_pointer_cast<DiskObject>(LookUp(handle)); }

}  // namespace

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    const auto object = DiskObjectOf(hFile);
    if (!object || lpFileInformation == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    const Resolved r = object->Entry();
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    struct stat id = Identity(r);
    BY_HANDLE_FILE_INFORMATION info{};
    info.dwFileAttributes = Attributes(r);
    info.ftCreationTime = ToFileTime(r.st.st_ctim);
    info.ftLastAccessTime = ToFileTime(r.st.st_atim);
    info.ftLastWriteTime = ToFileTime(r.st.st_mtim);
    const auto size = S_ISDIR(id.st_mode) ? 0ull : static_cast<ULONGLONG>(id.st_size);
    info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info.nFileSizeLow = static_cast<DWORD>(size);
    // The serial number of the volume the file lies on, as GetVolumeInformationA
    // tells it for that drive's root.
    const std::string windows = WindowsPathOfHost(r.host);
    DriveInfo drive;
    info.dwVolumeSerialNumber = !windows.empty() && FindDrive(windows[0], &drive) ? drive.serial : 0;
    info.nNumberOfLinks = S_ISDIR(id.st_mode) ? 1 : static_cast<DWORD>(id.st_nlink);
    info.nFileIndexHigh = static_cast<DWORD>(static_cast<ULONGLONG>(id.st_ino) >> 32);
    info.nFileIndexLow = static_cast<DWORD>(id.st_ino);
    *lpFileInformation = info;
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandleEx(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                         LPVOID lpFileInformation, DWORD dwBufferSize) {
    const auto object = DiskObjectOf(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    if (FileInformationClass != FileAttributeTagInfo)
        return Fail(ERROR_INVALID_PARAMETER);
    if (lpFileInformation == nullptr || dwBufferSize < sizeof(FILE_ATTRIBUTE_TAG_INFO))
        return Fail(ERROR_BAD_LENGTH);
    const Resolved r = object->Entry();
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    FILE_ATTRIBUTE_TAG_INFO info{};
    info.FileAttributes = Attributes(r, &info.ReparseTag);
    std::memcpy(lpFileInformation, &info, sizeof info);
    return TRUE;
}

BOOL WINAPI SetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                       LPVOID lpFileInformation, DWORD dwBufferSize) {
    const auto object = DiskObjectOf(hFile);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    if (FileInformationClass != FileBasicInfo)
        return Fail(ERROR_INVALID_PARAMETER);
    if (lpFileInformation == nullptr || dwBufferSize < sizeof(FILE_BASIC_INFO))
        return Fail(ERROR_BAD_LENGTH);
    if ((object->access() & (FILE_WRITE_ATTRIBUTES | GENERIC_WRITE | GENERIC_ALL)) == 0)
        return Fail(ERROR_ACCESS_DENIED);
    FILE_BASIC_INFO info;
    std::memcpy(&info, lpFileInformation, sizeof info);
    const Resolved r = object->Entry();
    if (!r.exists)
        return Fail(ERROR_FILE_NOT_FOUND);
    if (info.FileAttributes == 0)
        return TRUE;  // times only, which are not kept
    if (r.link) {
        SetLinkOwnAttributes(r.host, info.FileAttributes);
        return TRUE;
    }
    if (!StoreAttributes(r.host, info.FileAttributes))
        return Fail(ERROR_NOT_SUPPORTED);
    const mode_t mode = (info.FileAttributes & FILE_ATTRIBUTE_READONLY) ? (r.st.st_mode & ~0222) : (r.st.st_mode | S_IWUSR);
    ::chmod(r.host.c_str(), mode & 07777);
    return TRUE;
}

namespace hostwin::detail {
namespace {

HostEntryInfo Describe(const Resolved& r) {
    HostEntryInfo info;
    info.exists = r.exists;
    if (!r.exists)
        return info;
    info.link = r.link;
    info.directory = S_ISDIR(r.st.st_mode);
    info.attributes = Attributes(r, &info.reparseTag);
    const struct stat id = Identity(r);
    info.size = S_ISDIR(id.st_mode) || r.link ? 0 : static_cast<ULONGLONG>(id.st_size);
    info.links = S_ISDIR(id.st_mode) ? 1 : static_cast<DWORD>(id.st_nlink);
    info.created = ToFileTime(r.st.st_ctim);
    info.accessed = ToFileTime(r.st.st_atim);
    info.written = ToFileTime(r.st.st_mtim);
    std::lock_guard lock(g_openMutex);
    info.deletePending = PendingDeletes().count({id.st_dev, id.st_ino}) != 0;
    return info;
}

}  // namespace

HostEntryInfo DescribeHostEntry(const std::string& host) {
    Resolved r;
    r.host = host;
    StatEntry(&r);
    return Describe(r);
}

bool DescribeDiskHandle(HANDLE handle, DiskHandleInfo* info) {
    const auto object = DiskObjectOf(handle);
    if (!object)
        return false;
    const Resolved r = object->Entry();
    info->host = r.host;
    info->access = object->access();
    info->linkItself = object->linkItself();
    info->entry = Describe(r);
    return true;
}

LONG OpenHostEntry(const std::string& host, DWORD access, DWORD share, bool linkItself, HANDLE* handle) {
    constexpr LONG kSuccess = 0;
    constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
    constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);
    constexpr LONG kDeletePending = static_cast<LONG>(0xC0000056);
    constexpr LONG kNameNotFound = static_cast<LONG>(0xC0000034);
    Resolved r;
    r.host = host;
    StatEntry(&r);
    if (!r.exists)
        return kNameNotFound;
    const bool itself = linkItself && r.link;
    const struct stat id = itself ? Identity(r) : r.st;
    const bool folder = !itself && S_ISDIR(r.st.st_mode);
    if (!itself && !folder && ReadOnly(r.st) && Writes(access))
        return kAccessDenied;
    int fd = -1;
    if (!itself && !folder) {
        fd = ::open(host.c_str(), Writes(access) ? O_RDWR : O_RDONLY);
        if (fd < 0)
            return kAccessDenied;
    }
    std::lock_guard lock(g_openMutex);
    LONG status = kSuccess;
    if (DeletePendingAt(id, r.host))
        status = kDeletePending;
    else if (SharingConflict(id, access, share))
        status = kSharingViolation;
    if (status != kSuccess) {
        if (fd >= 0)
            ::close(fd);
        return status;
    }
    if (fd >= 0)
        *handle = RegisterOpen(fd, id, access, share, r.host);
    else
        *handle = NewHandle(std::make_shared<DiskEntry>(access, AddOpen(id, access, share, r.host), itself));
    return kSuccess;
}

LONG SetDeleteDisposition(HANDLE handle, ULONG flags) {
    constexpr LONG kSuccess = 0;
    constexpr LONG kInvalidHandle = static_cast<LONG>(0xC0000008);
    constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
    constexpr LONG kCannotDelete = static_cast<LONG>(0xC0000121);
    constexpr LONG kNotEmpty = static_cast<LONG>(0xC0000101);
    constexpr LONG kDeletePending = static_cast<LONG>(0xC0000056);
    const auto object = DiskObjectOf(handle);
    if (!object)
        return kInvalidHandle;
    if (!Deletes(object->access()))
        return kAccessDenied;
    const Resolved r = object->Entry();
    if (!r.exists)
        return kDeletePending;  // gone already, under a POSIX delete
    const struct stat id = Identity(r);
    if ((flags & kDeleteOnClose) == 0) {
        std::lock_guard lock(g_openMutex);
        PendingDeletes().erase({id.st_dev, id.st_ino});
        return kSuccess;
    }
    const bool directory = !r.link && S_ISDIR(r.st.st_mode);
    if (WindowsPathOfHost(r.host).size() <= 3)
        return kCannotDelete;  // a drive's root
    if (FolderReadOnly(r.host.substr(0, r.host.find_last_of('/'))))
        return kAccessDenied;
    if ((Attributes(r) & FILE_ATTRIBUTE_READONLY) != 0 && (flags & kIgnoreReadOnly) == 0)
        return kCannotDelete;
    if (directory) {
        bool empty = true;
        if (DIR* dir = ::opendir(r.host.c_str())) {
            while (dirent* e = ::readdir(dir))
                empty = empty && (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0);
            ::closedir(dir);
        }
        if (!empty)
            return kNotEmpty;
    }
    std::lock_guard lock(g_openMutex);
    PendingDeletes()[{id.st_dev, id.st_ino}] =
        PendingDelete{r.host, (flags & kPosixDelete) != 0, object->openId(), directory, r.link};
    return kSuccess;
}

// The drive whose folder holds the host path most closely (a drive whose
// folder lies inside another's names what is below it), of two on one
// folder the first letter: as Wine names a file.
std::string WindowsPathOfHost(const std::string& host) {
    char found = 0;
    std::string root;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        DriveInfo drive;
        if (!FindDrive(letter, &drive) || drive.hostFolder.empty() ||
            (found != 0 && drive.hostFolder.size() <= root.size()))
            continue;
        const std::string& folder = drive.hostFolder;
        if (host.compare(0, folder.size(), folder) != 0 || (host.size() > folder.size() && host[folder.size()] != '/'))
            continue;
        found = letter;
        root = folder;
    }
    if (found == 0)
        return "";
    std::string windows = std::string(1, found) + ":\\";
    for (size_t i = root.size() + (host.size() > root.size() ? 1 : 0); i < host.size(); ++i)
        windows.push_back(host[i] == '/' ? '\\' : host[i]);
    return windows;
}

bool DriveHostFolder(char letter, std::string* hostFolder, bool* shortNames) {
    DriveInfo drive;
    if (!FindDrive(letter, &drive) || !DriveHasMedium(drive.letter))
        return false;
    *hostFolder = drive.hostFolder;
    *shortNames = drive.shortNames;
    return true;
}

}  // namespace hostwin::detail

namespace hostwin {

void Machine::OnSearch(std::function<void(const std::string& pattern)> hook) {
    std::lock_guard lock(g_hookMutex);
    SearchHookSlot() = std::move(hook);
}

bool Machine::SetReparseTag(const std::string& windowsPath, DWORD tag) {
    Resolved r;
    if (Resolve(windowsPath, false, &r) != ERROR_SUCCESS || !r.exists || r.link)
        return false;
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(tag));
    return ::setxattr(r.host.c_str(), kReparseXattr, text, std::strlen(text), 0) == 0;
}

std::string Machine::HostPath(const std::string& windowsPath) {
    std::string host;
    DWORD error;
    return ResolveHostPath(windowsPath, &host, &error) ? host : std::string();
}

bool Machine::SetReadOnly(const std::string& windowsPath, bool readOnly) {
    Resolved r;
    if (Resolve(windowsPath, false, &r) != ERROR_SUCCESS || !r.exists)
        return false;
    const mode_t mode = readOnly ? (r.st.st_mode & ~0222) : (r.st.st_mode | S_IWUSR);
    return ::chmod(r.host.c_str(), mode & 07777) == 0;
}

size_t Machine::OpenFiles() {
    std::lock_guard lock(g_openMutex);
    return OpenTable().size();
}

}  // namespace hostwin
