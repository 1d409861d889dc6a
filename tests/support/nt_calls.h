// ntdll's handle calls on files as the product reaches them: looked up by
// name, with the records the product declares for them.  For the tests that run on
// hostwin and under Wine, and for hostwin's own.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "ioutils/nt_file_calls.h"
#include "platform/win32.h"

namespace nmtest::nt {

constexpr LONG kSuccess = 0;
constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kNoMoreFiles = static_cast<LONG>(0x80000006);
constexpr LONG kNotImplemented = static_cast<LONG>(0xC0000002);
constexpr LONG kInvalidInfoClass = static_cast<LONG>(0xC0000003);
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kInvalidParameter = static_cast<LONG>(0xC000000D);
constexpr LONG kAccessDenied = static_cast<LONG>(0xC0000022);
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr LONG kNameInvalid = static_cast<LONG>(0xC0000033);
constexpr LONG kNameNotFound = static_cast<LONG>(0xC0000034);
constexpr LONG kPathNotFound = static_cast<LONG>(0xC000003A);
constexpr LONG kSharingViolation = static_cast<LONG>(0xC0000043);
constexpr LONG kDeletePending = static_cast<LONG>(0xC0000056);
constexpr LONG kFileIsADirectory = static_cast<LONG>(0xC00000BA);
constexpr LONG kDirectoryNotEmpty = static_cast<LONG>(0xC0000101);
constexpr LONG kNotADirectory = static_cast<LONG>(0xC0000103);
constexpr LONG kCannotDelete = static_cast<LONG>(0xC0000121);
constexpr LONG kReparsePointEncountered = static_cast<LONG>(0xC000050B);

constexpr ULONG kCaseInsensitive = 0x40;
constexpr ULONG kDontReparse = 0x1000;
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kBackupIntent = 0x4000;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr DWORD kSynchronize = 0x100000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// ntdll's records, as the product declares them.
using NtUnicodeString = ntfile::UnicodeString;
using NtObjectAttributes = ntfile::ObjectAttributes;
using NtIoStatusBlock = ntfile::IoStatusBlock;
using FullDirInformation = ntfile::FullDirectoryInformation;
using StandardInformation = ntfile::StandardInformation;
using BasicInformation = ntfile::BasicInformation;

// The records travel as untyped pointers, as ntdll's exports take them.
using NtCreateFileFn = LONG(WINAPI*)(PHANDLE, ULONG, PVOID /*NtObjectAttributes*/, PVOID /*NtIoStatusBlock*/,
                                     LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = LONG(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, PVOID /*NtIoStatusBlock*/, PVOID, ULONG, int,
                                             BOOLEAN, PVOID /*NtUnicodeString*/, BOOLEAN);
using NtInformationFileFn = LONG(WINAPI*)(HANDLE, PVOID /*NtIoStatusBlock*/, PVOID, ULONG, int);

template <typename F>
F Export(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// Where Wine 8 answers otherwise than Windows, a test accepts Wine's answer
// under Wine only: hostwin answers as Windows does.
inline bool IsWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Whether the folder lists the name: a name whose delete is pending is
// listed but cannot be opened, not even for its attributes.
inline bool NameListed(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

inline std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct Listed {
    std::u16string name;
    ULONG attributes;
    LONGLONG size;
    ULONG eaSize;
};

class NtCalls {
public:
    bool Found() const { return create_ && list_ && query_ && set_ && objectName_; }

    // Opens `name` (relative to `root`, or absolute when root is null).
    LONG Open(HANDLE root, const std::u16string& name, HANDLE* handle, DWORD access = FILE_READ_ATTRIBUTES | kSynchronize,
              DWORD share = kShareAll, ULONG options = kSynchronousIo | kOpenReparsePoint, ULONG attributes = 0) {
        std::u16string text = name;
        NtUnicodeString unicode{static_cast<USHORT>(text.size() * 2), static_cast<USHORT>(text.size() * 2),
                                reinterpret_cast<WCHAR*>(text.data())};
        NtObjectAttributes object{sizeof object, root, &unicode, attributes, nullptr, nullptr};
        NtIoStatusBlock io{};
        *handle = nullptr;
        return create_(handle, access, &object, &io, nullptr, 0, share, 1 /*FILE_OPEN*/, options, nullptr, 0);
    }
    LONG OpenFolder(const std::string& path, HANDLE* handle, DWORD access = FILE_LIST_DIRECTORY | kSynchronize,
                    DWORD share = kShareAll) {
        return Open(nullptr, u"\\??\\" + Wide(path), handle, access, share,
                    kDirectoryFile | kSynchronousIo | kBackupIntent | kOpenReparsePoint);
    }

    // Every entry, call after call, until the listing ends (*endStatus).
    std::vector<Listed> List(HANDLE folder, ULONG bufferSize = 4096, LONG* endStatus = nullptr, bool single = false) {
        std::vector<Listed> listed;
        std::vector<ULONGLONG> buffer(bufferSize / 8 + 1);
        for (;;) {
            NtIoStatusBlock io{};
            const LONG status = list_(folder, nullptr, nullptr, nullptr, &io, buffer.data(), bufferSize, 2,
                                      single ? TRUE : FALSE, nullptr, FALSE);
            if (status != kSuccess) {
                if (endStatus)
                    *endStatus = status;
                return listed;
            }
            const auto* at = reinterpret_cast<const BYTE*>(buffer.data());
            for (;;) {
                FullDirInformation e;
                std::memcpy(&e, at, offsetof(FullDirInformation, FileName));
                std::u16string name(e.FileNameLength / 2, u'\0');
                std::memcpy(name.data(), at + offsetof(FullDirInformation, FileName), e.FileNameLength);
                listed.push_back({name, e.FileAttributes, e.EndOfFile.QuadPart, e.EaSize});
                if (e.NextEntryOffset == 0)
                    break;
                if (single)
                    oneTooMany = true;  // asked for one entry per call
                if (e.NextEntryOffset % 8 != 0)
                    misaligned = true;  // entries are 8-byte aligned
                at += e.NextEntryOffset;
            }
        }
    }

    LONG Query(HANDLE h, void* info, ULONG size, int infoClass) {
        NtIoStatusBlock io{};
        return query_(h, &io, info, size, infoClass);
    }
    LONG Set(HANDLE h, const void* info, ULONG size, int infoClass) {
        NtIoStatusBlock io{};
        return set_(h, &io, const_cast<void*>(info), size, infoClass);
    }
    // NtQueryObject's name of the handle, in a buffer of `room` bytes;
    // *needed is the size the call asks for.
    LONG ObjectName(HANDLE h, std::u16string* name, ULONG room = 4096, ULONG* needed = nullptr) {
        std::vector<ULONG_PTR> buffer(room / sizeof(ULONG_PTR) + 1);
        ULONG asked = 0;
        const LONG status = objectName_(h, 1 /*ObjectNameInformation*/, buffer.data(), room, &asked);
        if (needed)
            *needed = asked;
        name->clear();
        if (status == kSuccess) {
            const auto* info = reinterpret_cast<const ntfile::ObjectNameInformation*>(buffer.data());
            name->assign(reinterpret_cast<const char16_t*>(info->Name.Buffer), info->Name.Length / 2);
        }
        return status;
    }
    LONG MarkForDelete(HANDLE h, bool remove = true) {
        const BOOLEAN flag = remove ? TRUE : FALSE;
        return Set(h, &flag, sizeof flag, 13);
    }

    bool misaligned = false;
    bool oneTooMany = false;

protected:
    NtCreateFileFn create_ = Export<NtCreateFileFn>("NtCreateFile");
    NtQueryDirectoryFileFn list_ = Export<NtQueryDirectoryFileFn>("NtQueryDirectoryFile");
    NtInformationFileFn query_ = Export<NtInformationFileFn>("NtQueryInformationFile");
    NtInformationFileFn set_ = Export<NtInformationFileFn>("NtSetInformationFile");
    ntfile::QueryObjectCall objectName_ = Export<ntfile::QueryObjectCall>("NtQueryObject");
};

}  // namespace nmtest::nt
