// ntdll's file calls on the simulated drives: NtCreateFile, NtQueryDirectoryFile,
// NtQueryInformationFile, NtSetInformationFile and NtQueryObject's name of a
// file's handle, the handle-relative way of
// reaching files.  Names here are exact UTF-16: nothing is dropped from them
// (no trailing dots or blanks), nothing is rendered in a code page, "." and
// ".." are no way up.  The records are ntdll's own layouts; callers look the
// calls up by name, so they are declared nowhere else.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
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
#include "files.h"
#include "files_internal.h"
#include "handles.h"
#include "machine.h"
#include "machine_state.h"

namespace hostwin::detail {
namespace {

using NtStatus = LONG;
constexpr NtStatus kSuccess = 0;
constexpr NtStatus kBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kNoMoreFiles = static_cast<NtStatus>(0x80000006);
constexpr NtStatus kNotImplemented = static_cast<NtStatus>(0xC0000002);
constexpr NtStatus kInvalidInfoClass = static_cast<NtStatus>(0xC0000003);
constexpr NtStatus kInfoLengthMismatch = static_cast<NtStatus>(0xC0000004);
constexpr NtStatus kInvalidHandle = static_cast<NtStatus>(0xC0000008);
constexpr NtStatus kInvalidParameter = static_cast<NtStatus>(0xC000000D);
constexpr NtStatus kNoSuchFile = static_cast<NtStatus>(0xC000000F);
constexpr NtStatus kAccessDenied = static_cast<NtStatus>(0xC0000022);
constexpr NtStatus kNameInvalid = static_cast<NtStatus>(0xC0000033);
constexpr NtStatus kNameNotFound = static_cast<NtStatus>(0xC0000034);
constexpr NtStatus kPathNotFound = static_cast<NtStatus>(0xC000003A);
constexpr NtStatus kPathSyntaxBad = static_cast<NtStatus>(0xC000003B);
constexpr NtStatus kFileIsADirectory = static_cast<NtStatus>(0xC00000BA);
constexpr NtStatus kBadNetworkPath = static_cast<NtStatus>(0xC00000BE);
constexpr NtStatus kNotADirectory = static_cast<NtStatus>(0xC0000103);
constexpr NtStatus kFileDeleted = static_cast<NtStatus>(0xC0000123);
constexpr NtStatus kNoMedia = static_cast<NtStatus>(0xC0000178);
constexpr NtStatus kReparsePointEncountered = static_cast<NtStatus>(0xC000050B);

constexpr ULONG kObjDontReparse = 0x1000;
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileOpened = 1;
constexpr ULONG kFileDirectoryFile = 0x1;
constexpr ULONG kFileNonDirectoryFile = 0x40;
constexpr ULONG kFileOpenReparsePoint = 0x200000;

constexpr int kObjectNameInformation = 1;
constexpr int kFileFullDirectoryInformation = 2;
constexpr int kFileBasicInformation = 4;
constexpr int kFileStandardInformation = 5;
constexpr int kFileNameInformation = 9;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileAttributeTagInformation = 35;
constexpr int kFileDispositionInformationEx = 64;
constexpr ULONG kDispositionExKnownFlags = 0x1F;

constexpr DWORD kFileReadAttributes = FILE_READ_ATTRIBUTES;
constexpr ULONGLONG kClusterBytes = 4096;

struct UnicodeString {
    USHORT Length;  // bytes
    USHORT MaximumLength;
    WCHAR* Buffer;
};
struct ObjectAttributes {
    ULONG Length;
    HANDLE RootDirectory;
    UnicodeString* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
struct IoStatusBlock {
    union {
        NtStatus Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};
struct ObjectNameInformation {
    UnicodeString Name;  // its text follows the record
};
struct FileFullDirInformation {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime, EndOfFile, AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;
    ULONG EaSize;
    WCHAR FileName[1];
};
constexpr size_t kFullDirFixed = offsetof(FileFullDirInformation, FileName);
static_assert(kFullDirFixed == 68);
struct FileBasicInformation {
    LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
    ULONG FileAttributes;
};
static_assert(sizeof(FileBasicInformation) == 40);
struct FileStandardInformation {
    LARGE_INTEGER AllocationSize, EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};
static_assert(sizeof(FileStandardInformation) == 24);
struct FileAttributeTagInformation {
    ULONG FileAttributes;
    ULONG ReparseTag;
};

NtStatus Complete(IoStatusBlock* io, NtStatus status, ULONG_PTR information = 0) {
    if (io != nullptr) {
        io->Status = status;
        io->Information = information;
    }
    return status;
}

// --- names: UTF-16 in the calls, UTF-8 on the host.  A lone surrogate keeps
// its three-byte form; a host byte that starts no UTF-8 character travels as
// U+DC80..U+DCFF and comes back as that byte.

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf16ToHost(const std::u16string& name) {
    std::string host;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000) {
            AppendUtf8(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (name[i + 1] - 0xDC00), &host);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            host.push_back(static_cast<char>(c - 0xDC00));
        } else {
            AppendUtf8(c, &host);
        }
    }
    return host;
}

std::u16string HostToUtf16(const std::string& host) {
    std::u16string name;
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(host[k]); };
    for (size_t i = 0; i < host.size();) {
        const unsigned char lead = byte(i);
        const int more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
        bool whole = more >= 0 && i + more < host.size();
        char32_t c = more <= 0 ? lead : lead & (0x3F >> more);
        for (int k = 1; whole && k <= more; ++k) {
            whole = (byte(i + k) & 0xC0) == 0x80;
            c = (c << 6) | (byte(i + k) & 0x3F);
        }
        if (!whole || (more > 0 && lead < 0xC2) || c > 0x10FFFF) {
            name.push_back(static_cast<char16_t>(0xDC00 + lead));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            name.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            name.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            name.push_back(static_cast<char16_t>(c));
        }
        i += static_cast<size_t>(more) + 1;
    }
    return name;
}

// The file system's upper case for the scripts tests name files in: ASCII,
// Latin-1, the full-width Latin letters, Greek and Cyrillic.
char16_t Fold(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0xFF41 && c <= 0xFF5A) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string Folded(std::u16string s) {
    for (char16_t& c : s)
        c = Fold(c);
    return s;
}

bool NameIsLegal(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name)
        if (c < 0x20 || (c < 0x80 && std::strchr("/:*?<>\"|", static_cast<char>(c)) != nullptr))
            return false;
    return true;
}

// The host name in `folder` for an exact name: the name itself, else one
// that differs only in case, else the entry whose short name it is.
std::string MatchName(const std::string& folder, const std::u16string& name, bool shortNames) {
    const std::string exact = Utf16ToHost(name);
    struct stat st;
    if (::lstat((folder + "/" + exact).c_str(), &st) == 0)
        return exact;
    const std::u16string wanted = Folded(name);
    const bool maybeShort = shortNames && name.find(u'~') != std::u16string::npos;
    std::string found, byShortName;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string entry = e->d_name;
            if (entry == "." || entry == "..")
                continue;
            if (Folded(HostToUtf16(entry)) == wanted) {
                found = entry;
                break;
            }
            if (maybeShort && byShortName.empty()) {
                const std::string alternate = ShortNameFor(entry);
                if (!alternate.empty() && Folded(HostToUtf16(alternate)) == wanted)
                    byShortName = entry;
            }
        }
        ::closedir(dir);
    }
    return found.empty() ? byShortName : found;
}

std::vector<std::u16string> SplitNames(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsLink(const std::string& host) {
    struct stat st;
    return ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Walks `names` down from the folder `host`: a link on the way is followed
// unless the caller asked for none; the last name is looked up only.
NtStatus WalkNames(std::string host, const std::vector<std::u16string>& names, bool shortNames, bool dontReparse,
                   std::string* found) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (!NameIsLegal(names[i]))
            return kNameInvalid;
        const bool last = i + 1 == names.size();
        const std::string match = MatchName(host, names[i], shortNames);
        if (match.empty())
            return last ? kNameNotFound : kPathNotFound;
        host += "/" + match;
        if (last)
            break;
        if (dontReparse && IsLink(host))
            return kReparsePointEncountered;
        struct stat st;
        if (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return kPathNotFound;
    }
    *found = host;
    return kSuccess;
}

bool DontReparseKnown() {
    // Accepted from Windows 10 version 1607 on; older systems refuse the bit.
    const OsVersion v = CurrentOsVersion();
    return v.platform == 2 && (v.major > 10 || (v.major == 10 && v.build >= 14393));
}

bool PosixDeleteKnown() {
    const OsVersion v = CurrentOsVersion();
    return v.platform == 2 && (v.major > 10 || (v.major == 10 && v.build >= 17763));
}

bool HasAccess(DWORD granted, DWORD wanted) { return (granted & (wanted | GENERIC_ALL)) != 0; }
bool MayReadAttributes(DWORD granted) { return HasAccess(granted, kFileReadAttributes | GENERIC_READ); }

// --- the test hook

std::mutex g_hookMutex;
std::function<void(const char*, const std::string&)>& HookSlot() {
    static std::function<void(const char*, const std::string&)> hook;
    return hook;
}

// Tells the test hook of a call and the Windows path it works on.  The path
// costs looks at the disk: it is worked out only when a hook listens.
template <typename PathOf>
void CallHook(const char* api, const PathOf& pathOf) {
    std::function<void(const char*, const std::string&)> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = HookSlot();
    }
    if (hook)
        hook(api, pathOf());
}

std::string WindowsPathOfHandle(HANDLE handle) {
    DiskHandleInfo info;
    return DescribeDiskHandle(handle, &info) ? WindowsPathOfHost(info.host) : std::string();
}

// --- opening

// Where an absolute name leads: "\??\X:\..." on a simulated drive.
NtStatus ResolveAbsolute(const std::u16string& name, std::string* folder, std::u16string* rest, bool* shortNames) {
    if (name.empty() || name[0] != u'\\')
        return kPathSyntaxBad;
    const std::u16string prefix = u"\\??\\";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return kPathNotFound;
    const std::u16string device = name.substr(prefix.size());
    if (Folded(device.substr(0, 4)) == u"UNC\\")
        return kBadNetworkPath;  // no network is simulated
    if (device.size() < 2 || device[1] != u':' || device[0] > 0x7F ||
        !std::isalpha(static_cast<unsigned char>(device[0])))
        return kPathNotFound;
    if (device.size() == 2 || device[2] != u'\\')
        return kNameInvalid;  // the volume itself, or a drive-relative name
    const char letter = static_cast<char>(device[0]);
    DriveInfo drive;
    if (!FindDrive(letter, &drive))
        return kPathNotFound;
    if (!DriveHostFolder(letter, folder, shortNames))
        return kNoMedia;
    *rest = device.substr(3);
    return kSuccess;
}

NtStatus OpenFile(HANDLE* out, DWORD access, const ObjectAttributes* attributes, ULONG share, ULONG options) {
    const std::u16string name(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(WCHAR));
    if ((attributes->Attributes & kObjDontReparse) != 0 && !DontReparseKnown())
        return kInvalidParameter;
    const bool dontReparse = (attributes->Attributes & kObjDontReparse) != 0;
    std::string folder;
    std::u16string rest;
    bool shortNames = true;
    if (attributes->RootDirectory != nullptr) {
        DiskHandleInfo parent;
        if (!DescribeDiskHandle(attributes->RootDirectory, &parent))
            return kInvalidHandle;
        if (!name.empty() && name[0] == u'\\')
            return kNameInvalid;
        if (!parent.entry.directory)
            return kInvalidParameter;
        if (parent.linkItself)
            return name.empty() ? kInvalidParameter : kNameNotFound;  // a link's own folder holds nothing
        folder = parent.host;
        rest = name;
        const std::string windows = WindowsPathOfHost(folder);
        std::string driveFolder;
        if (windows.empty() || !DriveHostFolder(windows[0], &driveFolder, &shortNames))
            return kPathNotFound;
    } else {
        if (NtStatus status = ResolveAbsolute(name, &folder, &rest, &shortNames); status != kSuccess)
            return status;
    }
    bool trailingSeparator = false;
    if (!rest.empty() && rest.back() == u'\\') {
        rest.pop_back();
        trailingSeparator = true;
    }
    std::string host = folder;
    if (!rest.empty())
        if (NtStatus status = WalkNames(folder, SplitNames(rest), shortNames, dontReparse, &host); status != kSuccess)
            return status;
    // A drive's own folder may be a link on the host; the drive's root is none.
    const bool link = !(rest.empty() && attributes->RootDirectory == nullptr) && IsLink(host);
    const bool linkItself = link && (options & kFileOpenReparsePoint) != 0;
    if (link && !linkItself && dontReparse)
        return kReparsePointEncountered;
    const HostEntryInfo entry = DescribeHostEntry(host);
    if (!entry.exists)
        return kNameNotFound;
    if ((options & kFileDirectoryFile) != 0 && !entry.directory)
        return kNotADirectory;
    if ((options & kFileNonDirectoryFile) != 0 && entry.directory)
        return kFileIsADirectory;
    if (trailingSeparator && !entry.directory)
        return kNameInvalid;
    return OpenHostEntry(host, access, share, linkItself, out);
}

// --- listing: each handle's place in its folder, kept beside the handle.

struct Cursor {
    std::weak_ptr<KernelObject> object;
    std::vector<std::string> names;  // host names; "." and ".." first where they are listed
    size_t next = 0;
    bool started = false;  // something was listed: the end is "no more", not "no such file"
    std::u16string pattern;  // the handle's first query's, for every later one ("" for all)
};
std::mutex g_cursorMutex;
std::map<HANDLE, Cursor>& Cursors() {
    static std::map<HANDLE, Cursor> cursors;
    return cursors;
}

// Windows' wildcards on UTF-16, without regard to case.
bool Matches(const char16_t* pattern, const char16_t* name) {
    for (; *pattern != 0; ++pattern, ++name) {
        if (*pattern == u'*') {
            for (const char16_t* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest))
                    return true;
                if (*rest == 0)
                    return false;
            }
        }
        if (*name == 0 || (*pattern != u'?' && Fold(*pattern) != Fold(*name)))
            return false;
    }
    return *name == 0;
}

std::vector<std::string> FolderListing(const std::string& host, bool atRoot, bool linkItself,
                                       const std::u16string* pattern) {
    std::vector<std::pair<std::u16string, std::string>> named;
    if (!linkItself)
        if (DIR* dir = ::opendir(host.c_str())) {
            while (dirent* e = ::readdir(dir)) {
                const std::string entry = e->d_name;
                if (entry != "." && entry != "..")
                    named.emplace_back(Folded(HostToUtf16(entry)), entry);
            }
            ::closedir(dir);
        }
    std::sort(named.begin(), named.end());  // the file system's order: by upper-case UTF-16
    std::vector<std::string> names;
    if (!atRoot)
        names = {".", ".."};
    for (auto& [key, entry] : named)
        names.push_back(std::move(entry));
    if (pattern != nullptr)
        std::erase_if(names, [&](const std::string& n) { return !Matches(pattern->c_str(), HostToUtf16(n).c_str()); });
    return names;
}

LARGE_INTEGER Large(ULONGLONG value) {
    LARGE_INTEGER v;
    v.QuadPart = static_cast<LONGLONG>(value);
    return v;
}
LARGE_INTEGER Large(const FILETIME& t) {
    return Large((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// Writes one entry at `at`; false when not even its fixed part fits.
// *used is the entry's length, cut to `room` when its name is.
bool WriteEntry(BYTE* at, size_t room, const std::string& name, const HostEntryInfo& e, size_t* used, bool* cut) {
    if (room < kFullDirFixed)
        return false;
    const std::u16string wide = HostToUtf16(name);
    FileFullDirInformation fixed{};
    fixed.CreationTime = Large(e.created);
    fixed.LastAccessTime = Large(e.accessed);
    fixed.LastWriteTime = Large(e.written);
    fixed.ChangeTime = Large(e.written);
    fixed.EndOfFile = Large(e.size);
    fixed.AllocationSize = Large((e.size + kClusterBytes - 1) / kClusterBytes * kClusterBytes);
    fixed.FileAttributes = e.attributes;
    fixed.FileNameLength = static_cast<ULONG>(wide.size() * sizeof(WCHAR));
    fixed.EaSize = (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? e.reparseTag : 0;
    std::memcpy(at, &fixed, kFullDirFixed);
    const size_t nameBytes = std::min(wide.size() * sizeof(WCHAR), room - kFullDirFixed);
    std::memcpy(at + kFullDirFixed, wide.data(), nameBytes);
    *cut = nameBytes < wide.size() * sizeof(WCHAR);
    *used = kFullDirFixed + nameBytes;
    return true;
}

std::string ListedHost(const std::string& folder, const std::string& name) {
    if (name == ".")
        return folder;
    if (name == "..")
        return folder.substr(0, folder.find_last_of('/'));
    return folder + "/" + name;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

namespace {

// The path the test hook is told of: the name as given, or the folder's
// path and the name.
std::string CreatePathForHook(const ObjectAttributes* attributes) {
    const UnicodeString* name = attributes->ObjectName;
    std::u16string text = name->Buffer ? std::u16string(name->Buffer, name->Length / sizeof(WCHAR)) : u"";
    if (attributes->RootDirectory != nullptr) {
        const std::string folder = WindowsPathOfHandle(attributes->RootDirectory);
        return folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + Utf16ToHost(text);
    }
    if (text.compare(0, 4, u"\\??\\") == 0)
        text = text.substr(4);
    if (Folded(text.substr(0, 4)) == u"UNC\\")
        text = u"\\" + text.substr(3);
    return Utf16ToHost(text);
}

size_t Align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

}  // namespace

// The records travel as untyped pointers, as callers declare them: a call
// through a pointer of another function type would be undefined.
LONG WINAPI NtCreateFile(PHANDLE FileHandle, ULONG DesiredAccess, PVOID ObjectAttributesRecord, PVOID IoStatusRecord,
                         LARGE_INTEGER* /*AllocationSize*/, ULONG /*FileAttributes*/, ULONG ShareAccess,
                         ULONG CreateDisposition, ULONG CreateOptions, PVOID /*EaBuffer*/, ULONG /*EaLength*/) {
    auto* Attributes = static_cast<ObjectAttributes*>(ObjectAttributesRecord);
    auto* IoStatus = static_cast<IoStatusBlock*>(IoStatusRecord);
    if (FileHandle == nullptr || Attributes == nullptr || Attributes->ObjectName == nullptr ||
        (Attributes->ObjectName->Buffer == nullptr && Attributes->ObjectName->Length != 0))
        return Complete(IoStatus, kInvalidParameter);
    CallHook("NtCreateFile", [&] { return CreatePathForHook(Attributes); });
    *FileHandle = nullptr;
    if (CreateDisposition != kFileOpen)
        return Complete(IoStatus, kNotImplemented);  // only existing entries are opened here
    if ((CreateOptions & kFileDirectoryFile) != 0 && (CreateOptions & kFileNonDirectoryFile) != 0)
        return Complete(IoStatus, kInvalidParameter);
    HANDLE handle = nullptr;
    const NtStatus status = OpenFile(&handle, DesiredAccess, Attributes, ShareAccess, CreateOptions);
    if (status == kSuccess)
        *FileHandle = handle;
    return Complete(IoStatus, status, status == kSuccess ? kFileOpened : 0);
}

LONG WINAPI NtQueryDirectoryFile(HANDLE FileHandle, HANDLE /*Event*/, PVOID /*ApcRoutine*/, PVOID /*ApcContext*/,
                                 PVOID IoStatusRecord, PVOID FileInformation, ULONG Length, int FileInformationClass,
                                 BOOLEAN ReturnSingleEntry, PVOID FileNameRecord, BOOLEAN RestartScan) {
    auto* IoStatus = static_cast<IoStatusBlock*>(IoStatusRecord);
    auto* FileName = static_cast<UnicodeString*>(FileNameRecord);
    CallHook("NtQueryDirectoryFile", [&] { return WindowsPathOfHandle(FileHandle); });
    DiskHandleInfo info;
    if (!DescribeDiskHandle(FileHandle, &info))
        return Complete(IoStatus, kInvalidHandle);
    if (FileInformationClass != kFileFullDirectoryInformation)
        return Complete(IoStatus, kInvalidInfoClass);
    if (!info.entry.directory)
        return Complete(IoStatus, kInvalidParameter);
    if (!HasAccess(info.access, FILE_LIST_DIRECTORY | GENERIC_READ))
        return Complete(IoStatus, kAccessDenied);
    if (FileInformation == nullptr || Length < kFullDirFixed)
        return Complete(IoStatus, kInfoLengthMismatch);
    const auto object = LookUp(FileHandle);
    std::lock_guard lock(g_cursorMutex);
    std::erase_if(Cursors(), [](const auto& item) { return item.second.object.expired(); });
    Cursor& cursor = Cursors()[FileHandle];
    const bool first = cursor.object.lock() != object;
    if (first || RestartScan) {
        // A handle's first pattern stays its pattern, whatever a later query
        // names, as the file systems keep it.
        std::u16string pattern = first ? std::u16string() : cursor.pattern;
        if (first && FileName != nullptr && FileName->Buffer != nullptr)
            pattern.assign(FileName->Buffer, FileName->Length / sizeof(WCHAR));
        const bool atRoot = WindowsPathOfHost(info.host).size() <= 3;
        cursor = Cursor{object, FolderListing(info.host, atRoot, info.linkItself, pattern.empty() ? nullptr : &pattern), 0,
                        false, pattern};
    }
    auto* out = static_cast<BYTE*>(FileInformation);
    size_t last = SIZE_MAX, end = 0;
    while (cursor.next < cursor.names.size()) {
        const std::string& name = cursor.names[cursor.next];
        const HostEntryInfo entry = DescribeHostEntry(ListedHost(info.host, name));
        if (!entry.exists) {  // gone since the listing was taken
            ++cursor.next;
            continue;
        }
        const size_t start = last == SIZE_MAX ? 0 : Align8(end);
        size_t used = 0;
        bool cut = false;
        if (start >= Length || !WriteEntry(out + start, Length - start, name, entry, &used, &cut))
            break;
        if (cut) {
            if (last == SIZE_MAX)
                return Complete(IoStatus, kBufferOverflow, used);  // the entry stays for a larger buffer
            break;
        }
        if (last != SIZE_MAX) {
            const ULONG next = static_cast<ULONG>(start - last);
            std::memcpy(out + last, &next, sizeof next);
        }
        last = start;
        end = start + used;
        ++cursor.next;
        if (ReturnSingleEntry)
            break;
    }
    if (last == SIZE_MAX)
        return Complete(IoStatus, cursor.started ? kNoMoreFiles : kNoSuchFile);
    cursor.started = true;
    return Complete(IoStatus, kSuccess, end);
}

LONG WINAPI NtQueryInformationFile(HANDLE FileHandle, PVOID IoStatusRecord, PVOID FileInformation, ULONG Length,
                                   int FileInformationClass) {
    auto* IoStatus = static_cast<IoStatusBlock*>(IoStatusRecord);
    CallHook("NtQueryInformationFile", [&] { return WindowsPathOfHandle(FileHandle); });
    DiskHandleInfo info;
    if (!DescribeDiskHandle(FileHandle, &info))
        return Complete(IoStatus, kInvalidHandle);
    const HostEntryInfo& e = info.entry;
    switch (FileInformationClass) {
    case kFileBasicInformation: {
        if (FileInformation == nullptr || Length < sizeof(FileBasicInformation))
            return Complete(IoStatus, kInfoLengthMismatch);
        if (!MayReadAttributes(info.access))
            return Complete(IoStatus, kAccessDenied);
        if (!e.exists)
            return Complete(IoStatus, kFileDeleted);
        FileBasicInformation basic{};
        basic.CreationTime = Large(e.created);
        basic.LastAccessTime = Large(e.accessed);
        basic.LastWriteTime = Large(e.written);
        basic.ChangeTime = Large(e.written);
        basic.FileAttributes = e.attributes;
        std::memcpy(FileInformation, &basic, sizeof basic);
        return Complete(IoStatus, kSuccess, sizeof basic);
    }
    case kFileStandardInformation: {
        if (FileInformation == nullptr || Length < sizeof(FileStandardInformation))
            return Complete(IoStatus, kInfoLengthMismatch);
        if (!e.exists)
            return Complete(IoStatus, kFileDeleted);
        FileStandardInformation standard{};
        standard.AllocationSize = Large((e.size + kClusterBytes - 1) / kClusterBytes * kClusterBytes);
        standard.EndOfFile = Large(e.size);
        standard.NumberOfLinks = e.links;
        standard.DeletePending = e.deletePending ? TRUE : FALSE;
        standard.Directory = e.directory ? TRUE : FALSE;
        std::memcpy(FileInformation, &standard, sizeof standard);
        return Complete(IoStatus, kSuccess, sizeof standard);
    }
    case kFileNameInformation: {
        // The path on its volume, "\\dir\\name", of what the handle holds: a
        // link opened as itself, else what it led to.  Cut to the buffer, the
        // whole length still told.
        if (FileInformation == nullptr || Length < sizeof(ULONG))
            return Complete(IoStatus, kInfoLengthMismatch);
        std::string path = WindowsPathOfHost(info.host);
        if (path.size() >= 2 && path[1] == ':')
            path.erase(0, 2);
        else
            path = info.host;  // on no drive: a host path, which no path on a drive equals
        const std::u16string name = HostToUtf16(path);
        const ULONG nameBytes = static_cast<ULONG>(name.size() * sizeof(WCHAR));
        const ULONG room = Length - sizeof(ULONG);
        const ULONG copied = std::min(nameBytes, room) & ~ULONG{1};
        auto* out = static_cast<BYTE*>(FileInformation);
        std::memcpy(out, &nameBytes, sizeof nameBytes);
        std::memcpy(out + sizeof(ULONG), name.data(), copied);
        return Complete(IoStatus, copied < nameBytes ? kBufferOverflow : kSuccess, sizeof(ULONG) + copied);
    }
    case kFileAttributeTagInformation: {
        if (FileInformation == nullptr || Length < sizeof(FileAttributeTagInformation))
            return Complete(IoStatus, kInfoLengthMismatch);
        if (!MayReadAttributes(info.access))
            return Complete(IoStatus, kAccessDenied);
        if (!e.exists)
            return Complete(IoStatus, kFileDeleted);
        const FileAttributeTagInformation tag{e.attributes, e.reparseTag};
        std::memcpy(FileInformation, &tag, sizeof tag);
        return Complete(IoStatus, kSuccess, sizeof tag);
    }
    default:
        return Complete(IoStatus, kInvalidInfoClass);
    }
}

LONG WINAPI NtSetInformationFile(HANDLE FileHandle, PVOID IoStatusRecord, PVOID FileInformation, ULONG Length,
                                 int FileInformationClass) {
    auto* IoStatus = static_cast<IoStatusBlock*>(IoStatusRecord);
    CallHook("NtSetInformationFile", [&] { return WindowsPathOfHandle(FileHandle); });
    DiskHandleInfo info;
    if (!DescribeDiskHandle(FileHandle, &info))
        return Complete(IoStatus, kInvalidHandle);
    switch (FileInformationClass) {
    case kFileBasicInformation: {
        if (FileInformation == nullptr || Length < sizeof(FileBasicInformation))
            return Complete(IoStatus, kInfoLengthMismatch);
        // The handle call does the same work; ntdll leaves the last error alone.
        const DWORD saved = GetLastError();
        const BOOL done = SetFileInformationByHandle(FileHandle, FileBasicInfo, FileInformation, sizeof(FileBasicInformation));
        const DWORD error = GetLastError();
        SetLastError(saved);
        if (done)
            return Complete(IoStatus, kSuccess);
        return Complete(IoStatus, error == ERROR_ACCESS_DENIED ? kAccessDenied
                                  : error == ERROR_FILE_NOT_FOUND ? kFileDeleted
                                                                  : kInvalidParameter);
    }
    case kFileDispositionInformation: {
        if (FileInformation == nullptr || Length < 1)
            return Complete(IoStatus, kInfoLengthMismatch);
        const BOOLEAN remove = *static_cast<const BOOLEAN*>(FileInformation);
        return Complete(IoStatus, SetDeleteDisposition(FileHandle, remove ? kDeleteOnClose : 0));
    }
    case kFileDispositionInformationEx: {
        if (!PosixDeleteKnown())
            return Complete(IoStatus, kInvalidInfoClass);
        if (FileInformation == nullptr || Length < sizeof(ULONG))
            return Complete(IoStatus, kInfoLengthMismatch);
        ULONG flags;
        std::memcpy(&flags, FileInformation, sizeof flags);
        if ((flags & ~kDispositionExKnownFlags) != 0)
            return Complete(IoStatus, kInvalidParameter);
        return Complete(IoStatus, SetDeleteDisposition(FileHandle, flags & (kDeleteOnClose | kPosixDelete | kIgnoreReadOnly)));
    }
    default:
        return Complete(IoStatus, kInvalidInfoClass);
    }
}

// The name of a file's handle: as under Wine, its drive ("\\??\\C:"), where
// Windows gives the volume's device, then the path that FileNameInformation
// tells.  Handles of other kinds are not asked for their names here.
LONG WINAPI NtQueryObject(HANDLE Handle, int ObjectInformationClass, PVOID ObjectInformation, ULONG Length,
                          ULONG* ReturnLength) {
    CallHook("NtQueryObject", [&] { return WindowsPathOfHandle(Handle); });
    if (ObjectInformationClass != kObjectNameInformation)
        return kInvalidInfoClass;
    DiskHandleInfo info;
    if (!DescribeDiskHandle(Handle, &info))
        return LookUp(Handle) ? kNotImplemented : kInvalidHandle;
    std::string path = WindowsPathOfHost(info.host);
    if (path.empty()) {  // on no drive: Wine's name for a host path
        path = "unix" + info.host;
        std::replace(path.begin(), path.end(), '/', '\\');
    }
    const std::u16string name = u"\\??\\" + HostToUtf16(path);
    const ULONG textBytes = static_cast<ULONG>((name.size() + 1) * sizeof(WCHAR));
    if (ReturnLength != nullptr)
        *ReturnLength = static_cast<ULONG>(sizeof(ObjectNameInformation) + textBytes);
    if (ObjectInformation == nullptr || Length < sizeof(ObjectNameInformation))
        return kInfoLengthMismatch;
    if (Length - sizeof(ObjectNameInformation) < textBytes || textBytes > 0xFFFF)
        return kBufferOverflow;
    auto* out = static_cast<ObjectNameInformation*>(ObjectInformation);
    auto* text = reinterpret_cast<WCHAR*>(out + 1);
    std::memcpy(text, name.c_str(), textBytes);
    out->Name.Length = static_cast<USHORT>(textBytes - sizeof(WCHAR));
    out->Name.MaximumLength = static_cast<USHORT>(textBytes);
    out->Name.Buffer = text;
    return kSuccess;
}

namespace hostwin::detail {

const NtFileExport* NtFileExports(size_t* count) {
    static const NtFileExport exports[] = {
        {"NtCreateFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtCreateFile))},
        {"NtQueryDirectoryFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtQueryDirectoryFile))},
        {"NtQueryInformationFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtQueryInformationFile))},
        {"NtSetInformationFile", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtSetInformationFile))},
        {"NtQueryObject", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&NtQueryObject))},
    };
    *count = std::size(exports);
    return exports;
}

void ResetNtFiles() {
    Machine::OnFileCall(nullptr);
    std::lock_guard lock(g_cursorMutex);
    Cursors().clear();
}

}  // namespace hostwin::detail

namespace hostwin {

void Machine::OnFileCall(std::function<void(const char* api, const std::string& path)> hook) {
    std::lock_guard lock(detail::g_hookMutex);
    detail::HookSlot() = std::move(hook);
}

}  // namespace hostwin
