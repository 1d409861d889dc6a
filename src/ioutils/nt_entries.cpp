#include "ioutils/nt_entries.h"

#include <cstddef>
#include <cstring>

namespace removal {

namespace {

using namespace ntfile;

constexpr USHORT kLongestName = 0xFFFE;  // bytes a UNICODE_STRING can count
constexpr ULONG kNotContentIndexed = 0x2000;
constexpr ULONG kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | kNotContentIndexed;

bool IsDotName(const WideName& name) {
    return (name.size() == 1 && name[0] == '.') || (name.size() == 2 && name[0] == '.' && name[1] == '.');
}

constexpr ULONG kListingBytes = 64 * 1024;
constexpr ULONG kLargestListingBytes = 1024 * 1024;

}  // namespace

template <typename Visit>
bool NtEntries::ForEachListed(HANDLE folder, ntfile::UnicodeString* filter, Visit visit) {
    std::vector<ULONGLONG> buffer(kListingBytes / sizeof(ULONGLONG));  // entries are 8-byte aligned
    BOOLEAN restart = TRUE;
    for (;;) {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        IoStatusBlock io{};
        const Status status = calls_.queryDirectory(folder, nullptr, nullptr, nullptr, &io, buffer.data(), bytes,
                                                    kFileFullDirectoryInformation, FALSE, filter, restart);
        if (status == kNoMoreFiles || (filter != nullptr && (status == kNoSuchFile || IsGone(status))))
            return true;
        if (status == kBufferOverflow || status == kBufferTooSmall) {
            if (bytes >= kLargestListingBytes)
                return false;
            buffer.resize(buffer.size() * 2);  // not even one entry fitted
            continue;
        }
        if (status < 0)
            return false;
        restart = FALSE;
        const unsigned char* at = reinterpret_cast<const unsigned char*>(buffer.data());
        const unsigned char* end = at + bytes;
        for (;;) {
            FullDirectoryInformation info;
            const size_t fixed = offsetof(FullDirectoryInformation, FileName);
            if (at + fixed > end)
                return false;
            std::memcpy(&info, at, fixed);
            if (at + fixed + info.FileNameLength > end)
                return false;
            ListedEntry entry;
            entry.name.resize(info.FileNameLength / sizeof(WCHAR));
            if (!entry.name.empty())
                std::memcpy(&entry.name[0], at + fixed, entry.name.size() * sizeof(WCHAR));
            entry.attributes = info.FileAttributes;
            entry.tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info.EaSize : 0;
            entry.size = static_cast<ULONGLONG>(info.EndOfFile.QuadPart);
            visit(std::move(entry));
            if (info.NextEntryOffset == 0)
                break;
            at += info.NextEntryOffset;
        }
    }
}

Opened NtEntries::Open(HANDLE root, const WideName& name, ULONG objectAttributes, ULONG access, ULONG share,
                       HANDLE* handle) {
    *handle = INVALID_HANDLE_VALUE;
    if (name.empty() || name.size() * sizeof(WCHAR) > kLongestName)
        return Opened::kFailed;
    UnicodeString text;
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    text.Buffer = const_cast<WCHAR*>(name.data());
    for (;;) {
        ObjectAttributes object{};
        object.Length = sizeof object;
        object.RootDirectory = root;
        object.ObjectName = &text;
        object.Attributes = objectAttributes | (root != nullptr && dontReparse_ ? kObjDontReparse : 0);
        IoStatusBlock io{};
        HANDLE opened = nullptr;
        const Status status =
            calls_.createFile(&opened, access | kSynchronize, &object, &io, nullptr, 0, share, kOpen,
                              kSynchronousIo | kOpenForBackupIntent | kOpenReparsePoint, nullptr, 0);
        if (status == kInvalidParameter && (object.Attributes & kObjDontReparse) != 0) {
            dontReparse_ = false;  // a system before the flag: links are still never followed
            continue;
        }
        lastStatus_ = status;
        if (status >= 0) {
            *handle = opened;
            return Opened::kHeld;
        }
        if (IsGone(status))
            return Opened::kGone;
        if (status == kSharingViolation || status == kAccessDenied)
            return Opened::kInUse;
        return Opened::kFailed;
    }
}

Opened NtEntries::OpenPath(const WideName& ntPath, ULONG access, ULONG share, HANDLE* handle) {
    const Opened opened = Open(nullptr, ntPath, kObjCaseInsensitive, access, share, handle);
    // A share that cannot be reached holds nothing to remove, as a missing folder.
    return opened == Opened::kFailed && (lastStatus_ == kBadNetworkPath || lastStatus_ == kBadNetworkName)
               ? Opened::kGone
               : opened;
}

Opened NtEntries::OpenChild(HANDLE parent, const ListedEntry& entry, ULONG access, ULONG share, HANDLE* handle) {
    return Open(parent, entry.name, entry.givenByCaller ? kObjCaseInsensitive : 0, access, share, handle);
}

bool NtEntries::List(HANDLE folder, std::vector<ListedEntry>* entries) {
    return ForEachListed(folder, nullptr, [&](ListedEntry&& entry) {
        if (!entry.name.empty() && !IsDotName(entry.name))
            entries->push_back(std::move(entry));
    });
}

bool NtEntries::StillListed(HANDLE folder, const WideName& name) {
    if (name.empty() || name.size() * sizeof(WCHAR) > kLongestName)
        return false;
    UnicodeString filter;
    filter.Length = filter.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    filter.Buffer = const_cast<WCHAR*>(name.data());
    bool found = false;
    // Where the filter is not honoured every entry comes back: the name is
    // looked for among them all.
    const bool listed = ForEachListed(folder, &filter, [&](ListedEntry&& entry) { found = found || entry.name == name; });
    return listed && found;
}

bool NtEntries::Inspect(HANDLE handle, HeldEntry* held) {
    IoStatusBlock io{};
    AttributeTagInformation tag{};
    if (calls_.queryInformation(handle, &io, &tag, sizeof tag, kFileAttributeTagInformation) < 0)
        return false;
    StandardInformation standard{};
    if (calls_.queryInformation(handle, &io, &standard, sizeof standard, kFileStandardInformation) < 0)
        return false;
    held->attributes = tag.FileAttributes;
    held->tag = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? tag.ReparseTag : 0;
    held->links = standard.NumberOfLinks;
    held->directory = standard.Directory != 0 || (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

Status NtEntries::DeleteThrough(HANDLE handle, DWORD attributes) {
    IoStatusBlock io{};
    if (posixDelete_) {
        DispositionInformationEx ex{kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
        const Status status = calls_.setInformation(handle, &io, &ex, sizeof ex, kFileDispositionInformationEx);
        if (status >= 0 || status == kDirectoryNotEmpty || status == kCannotDelete || status == kAccessDenied ||
            status == kSharingViolation)
            return status;
        if (status == kInvalidInfoClass || status == kNotImplemented || status == kInvalidParameter)
            posixDelete_ = false;  // a system before POSIX deletes: the older class for the rest of the walk
    }
    ClearReadOnly(handle, attributes);
    DispositionInformation disposition{TRUE};
    return calls_.setInformation(handle, &io, &disposition, sizeof disposition, kFileDispositionInformation);
}

void NtEntries::ClearReadOnly(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return;
    BasicInformation basic{};
    basic.FileAttributes = attributes & kSettableAttributes & ~ULONG{FILE_ATTRIBUTE_READONLY};
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would leave them as they are
    IoStatusBlock io{};
    calls_.setInformation(handle, &io, &basic, sizeof basic, kFileBasicInformation);
}

bool NtEntries::EmptyThrough(HANDLE handle) { return SetEndOfFile(handle) != FALSE; }

}  // namespace removal
