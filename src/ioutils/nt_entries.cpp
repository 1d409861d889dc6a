#include "ioutils/nt_entries.h"

#include <cstddef>
#include <cstdint>
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
    std::vector<ULONGLONG>& buffer = listing_;  // entries are 8-byte aligned
    if (buffer.empty())
        buffer.resize(kListingBytes / sizeof(ULONGLONG));
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

template <typename Visit>
bool NtEntries::ForEachNamed(HANDLE folder, const WideName& name, Visit visit) {
    if (name.empty() || name.size() * sizeof(WCHAR) > kLongestName)
        return false;
    UnicodeString filter;
    filter.Length = filter.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    filter.Buffer = const_cast<WCHAR*>(name.data());
    // Where the filter is not honoured every entry comes back: the name is
    // looked for among them all.
    return ForEachListed(folder, &filter, [&](ListedEntry&& entry) {
        if (entry.name.size() == name.size() && SameNameIgnoringCase(entry.name.data(), name.data(), name.size()))
            visit(std::move(entry));
    });
}

bool NtEntries::StillListed(HANDLE folder, const WideName& name, bool ignoreCase) {
    if (name.empty() || name.size() * sizeof(WCHAR) > kLongestName)
        return false;  // no entry has such a name
    bool found = false;
    const bool listed = ForEachNamed(folder, name, [&](ListedEntry&& entry) {
        found = found || ignoreCase || entry.name == name;
    });
    // A listing that fails says nothing: the entry is not seen gone.
    return !listed || found;
}

bool NtEntries::ListsTwin(HANDLE folder, const WideName& name) {
    const WideName stem = WithoutTrailingDotsAndSpaces(name);
    if (stem.empty() || (stem.size() + 1) * sizeof(WCHAR) > kLongestName)
        return true;  // a name of dots and spaces alone has every such name for a twin
    WideName pattern = stem;
    pattern.push_back('*');
    UnicodeString filter;
    filter.Length = filter.MaximumLength = static_cast<USHORT>(pattern.size() * sizeof(WCHAR));
    filter.Buffer = &pattern[0];
    std::vector<WideName> twins;
    const bool listed = ForEachListed(folder, &filter, [&](ListedEntry&& entry) {
        const WideName other = WithoutTrailingDotsAndSpaces(entry.name);
        if (entry.name != name && other.size() == stem.size() &&
            SameNameIgnoringCase(other.data(), stem.data(), stem.size()))
            twins.push_back(std::move(entry.name));
    });
    if (!listed)
        return true;
    if (twins.empty())
        return false;
    // A twin matters only where the system names it as it names this one.
    WideName own, other;
    if (!ReportedLastName(folder, name, &own))
        return true;
    for (const WideName& twin : twins)
        if (!ReportedLastName(folder, twin, &other) || other == own)
            return true;
    return false;
}

bool NtEntries::ReportedLastName(HANDLE folder, const WideName& name, WideName* last) {
    if (!IsOneName(name))
        return false;
    ListedEntry entry;
    entry.name = name;
    HANDLE handle;
    if (OpenChild(folder, entry, kReadAttributes, kShareRead | kShareWrite | kShareDelete, &handle) != Opened::kHeld)
        return false;
    WideName path;
    const bool named = OwnName(handle, &path);
    CloseHandle(handle);
    if (!named)
        return false;
    *last = path.substr(path.find_last_of('\\') + 1);
    return true;
}

bool NtEntries::ListedNameOf(HANDLE folder, const WideName& given, WideName* exact) {
    exact->clear();
    if (given.empty() || (given.size() + 1) * sizeof(WCHAR) > kLongestName)
        return true;
    // Wine keeps the first search pattern of a folder's handle for every later
    // listing through it: this one, the first, covers the twins that the name
    // check may then look for (the name's stem, then anything).
    WideName pattern = WithoutTrailingDotsAndSpaces(given);
    pattern.push_back('*');
    UnicodeString filter;
    filter.Length = filter.MaximumLength = static_cast<USHORT>(pattern.size() * sizeof(WCHAR));
    filter.Buffer = &pattern[0];
    bool exactly = false;
    std::vector<WideName> matches;
    if (!ForEachListed(folder, &filter, [&](ListedEntry&& entry) {
            if (entry.name == given)
                exactly = true;
            else if (entry.name.size() == given.size() &&
                     SameNameIgnoringCase(entry.name.data(), given.data(), given.size()))
                matches.push_back(std::move(entry.name));
        }))
        return true;  // the open then finds what it finds, and its name is checked
    if (exactly) {
        *exact = given;
        return true;
    }
    if (matches.empty())
        return true;
    if (matches.size() > 1)
        return false;
    *exact = std::move(matches[0]);
    return true;
}

bool NtEntries::GoneOrGoing(HANDLE folder, const ListedEntry& entry) {
    return !StillListed(folder, entry.name, entry.givenByCaller) || DeletePending(folder, entry);
}

bool NtEntries::DeletePending(HANDLE folder, const ListedEntry& entry) {
    HANDLE handle;
    const Opened opened = OpenChild(folder, entry, kReadAttributes, kShareRead | kShareWrite | kShareDelete, &handle);
    if (opened == Opened::kGone)
        return lastStatus_ == kDeletePending;
    if (opened != Opened::kHeld)
        return false;
    IoStatusBlock io{};
    StandardInformation standard{};
    const bool pending = calls_.queryInformation(handle, &io, &standard, sizeof standard, kFileStandardInformation) >= 0 &&
                         standard.DeletePending != 0;
    CloseHandle(handle);
    return pending;
}

bool NtEntries::OwnName(HANDLE handle, WideName* name) {
    std::vector<ULONG>& buffer = ownName_;
    if (buffer.empty())
        buffer.resize(130);  // room for 256 characters; grown for a longer name
    for (;;) {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
        IoStatusBlock io{};
        buffer[0] = 0;
        const Status status = calls_.queryInformation(handle, &io, buffer.data(), bytes, kFileNameInformation);
        const ULONG length = buffer[0];
        if (status == kBufferOverflow && length <= 0x10000 && length + sizeof(ULONG) > bytes) {
            buffer.resize(length / sizeof(ULONG) + 2);
            continue;
        }
        if (status < 0 || length + sizeof(ULONG) > bytes)
            return false;
        name->assign(reinterpret_cast<const WCHAR*>(buffer.data() + 1), length / sizeof(WCHAR));
        return true;
    }
}

bool NtEntries::ObjectName(HANDLE handle, WideName* name) {
    // Room for the longest name a UNICODE_STRING holds: no second call.
    std::vector<ULONG_PTR>& buffer = objectName_;
    if (buffer.empty())
        buffer.resize((sizeof(ObjectNameInformation) + kLongestName + sizeof(WCHAR)) / sizeof(ULONG_PTR) + 1);
    const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
    ULONG needed = 0;
    if (calls_.queryObject(handle, kObjectNameInformation, buffer.data(), bytes, &needed) < 0)
        return false;
    const auto* info = reinterpret_cast<const ObjectNameInformation*>(buffer.data());
    const auto begin = reinterpret_cast<uintptr_t>(buffer.data());
    const auto text = reinterpret_cast<uintptr_t>(info->Name.Buffer);
    // The text lies in the buffer, after the record.
    if (info->Name.Length == 0 || text < begin + sizeof *info || text - begin + info->Name.Length > bytes)
        return false;
    name->assign(info->Name.Buffer, info->Name.Length / sizeof(WCHAR));
    return true;
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

Status NtEntries::DeleteThrough(HANDLE handle, const HeldEntry& held) {
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
    DispositionInformation disposition{TRUE};
    const bool readOnly = (held.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!readOnly)
        return calls_.setInformation(handle, &io, &disposition, sizeof disposition, kFileDispositionInformation);
    ClearReadOnly(handle, held.attributes);
    const Status status = calls_.setInformation(handle, &io, &disposition, sizeof disposition, kFileDispositionInformation);
    if (status >= 0 && held.links <= 1)
        return status;
    // The file stays under another name, or stays whole: it gets its
    // attribute back, seen through the handle, or this name is not removed.
    HeldEntry now;
    const bool restored = SetAttributes(handle, held.attributes) && Inspect(handle, &now) &&
                          (now.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (status < 0 || restored)
        return status;
    DispositionInformation keep{FALSE};
    calls_.setInformation(handle, &io, &keep, sizeof keep, kFileDispositionInformation);
    SetAttributes(handle, held.attributes);
    return kCannotDelete;
}

bool NtEntries::SetAttributes(HANDLE handle, DWORD attributes) {
    BasicInformation basic{};
    basic.FileAttributes = attributes & kSettableAttributes;
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // 0 would leave them as they are
    IoStatusBlock io{};
    return calls_.setInformation(handle, &io, &basic, sizeof basic, kFileBasicInformation) >= 0;
}

void NtEntries::ClearReadOnly(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetAttributes(handle, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

bool NtEntries::EmptyThrough(HANDLE handle) { return SetEndOfFile(handle) != FALSE; }

}  // namespace removal
