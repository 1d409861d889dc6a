// The native file calls of the NT family that the removal walks a tree with:
// every entry opened relative to its parent folder's handle by its exact
// UTF-16 name, listed, checked and deleted through handles.  They are looked
// up in ntdll.dll at run time, so that the library still loads on Windows
// 95/98/Me, where they are missing.  The records are the system's own
// layouts, declared here because no header the library can include has them.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace ntfile {

using Status = LONG;

constexpr Status kSuccess = 0;
constexpr Status kNoMoreFiles = static_cast<Status>(0x80000006);
constexpr Status kBufferOverflow = static_cast<Status>(0x80000005);
constexpr Status kNotImplemented = static_cast<Status>(0xC0000002);
constexpr Status kInvalidInfoClass = static_cast<Status>(0xC0000003);
constexpr Status kInvalidParameter = static_cast<Status>(0xC000000D);
constexpr Status kNoSuchFile = static_cast<Status>(0xC000000F);
constexpr Status kAccessDenied = static_cast<Status>(0xC0000022);
constexpr Status kBufferTooSmall = static_cast<Status>(0xC0000023);
constexpr Status kObjectNameInvalid = static_cast<Status>(0xC0000033);
constexpr Status kObjectNameNotFound = static_cast<Status>(0xC0000034);
constexpr Status kObjectPathNotFound = static_cast<Status>(0xC000003A);
constexpr Status kSharingViolation = static_cast<Status>(0xC0000043);
constexpr Status kDeletePending = static_cast<Status>(0xC0000056);
constexpr Status kDirectoryNotEmpty = static_cast<Status>(0xC0000101);
constexpr Status kNotADirectory = static_cast<Status>(0xC0000103);
constexpr Status kCannotDelete = static_cast<Status>(0xC0000121);
constexpr Status kBadNetworkPath = static_cast<Status>(0xC00000BE);
constexpr Status kBadNetworkName = static_cast<Status>(0xC00000CC);
constexpr Status kFileIsADirectory = static_cast<Status>(0xC00000BA);

// OBJECT_ATTRIBUTES.Attributes
constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr ULONG kObjDontReparse = 0x1000;  // newer systems only

// Access rights, share modes and options of NtCreateFile.
constexpr ULONG kListDirectory = 0x0001;
constexpr ULONG kWriteData = 0x0002;
constexpr ULONG kReadAttributes = 0x0080;
constexpr ULONG kWriteAttributes = 0x0100;
constexpr ULONG kDelete = 0x00010000;
constexpr ULONG kSynchronize = 0x00100000;
constexpr ULONG kShareRead = 0x1;
constexpr ULONG kShareWrite = 0x2;
constexpr ULONG kShareDelete = 0x4;
constexpr ULONG kOpen = 1;  // the disposition: only what exists
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kOpenForBackupIntent = 0x4000;
constexpr ULONG kOpenReparsePoint = 0x200000;

// Information classes.
constexpr int kObjectNameInformation = 1;  // NtQueryObject's
constexpr int kFileFullDirectoryInformation = 2;
constexpr int kFileBasicInformation = 4;
constexpr int kFileStandardInformation = 5;
constexpr int kFileNameInformation = 9;
constexpr int kFileDispositionInformation = 13;
constexpr int kFileAttributeTagInformation = 35;
constexpr int kFileDispositionInformationEx = 64;

// FileDispositionInformationEx's flags.
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;

struct UnicodeString {
    USHORT Length;  // in bytes, without a terminator
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
        Status status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

struct FullDirectoryInformation {
    ULONG NextEntryOffset;
    ULONG FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    ULONG FileAttributes;
    ULONG FileNameLength;  // in bytes
    ULONG EaSize;          // the reparse tag of a reparse point
    WCHAR FileName[1];
};

struct BasicInformation {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    ULONG FileAttributes;  // 0 leaves them as they are
};

struct StandardInformation {
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    ULONG NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};

// The handle's own path on its volume ("\\dir\\name"), as the file system
// reports it; a name longer than the buffer answers kBufferOverflow.
struct NameInformation {
    ULONG FileNameLength;  // in bytes
    WCHAR FileName[1];
};

// A handle's whole name in the object namespace: its volume's device
// ("\\Device\\HarddiskVolume2"; under Wine the drive, "\\??\\C:"), then
// the path that FileNameInformation reports.  The text follows the record.
struct ObjectNameInformation {
    UnicodeString Name;
};

struct AttributeTagInformation {
    ULONG FileAttributes;
    ULONG ReparseTag;
};

struct DispositionInformation {
    BOOLEAN DeleteFile;
};

struct DispositionInformationEx {
    ULONG Flags;
};

constexpr bool kWide = sizeof(void*) == 8;
static_assert(sizeof(UnicodeString) == (kWide ? 16 : 8), "UNICODE_STRING");
static_assert(sizeof(ObjectAttributes) == (kWide ? 48 : 24), "OBJECT_ATTRIBUTES");
static_assert(sizeof(IoStatusBlock) == (kWide ? 16 : 8), "IO_STATUS_BLOCK");
static_assert(offsetof(FullDirectoryInformation, FileName) == 68, "FILE_FULL_DIR_INFORMATION's name");
static_assert(sizeof(FullDirectoryInformation) == 72, "FILE_FULL_DIR_INFORMATION");
static_assert(sizeof(BasicInformation) == 40, "FILE_BASIC_INFORMATION");
static_assert(sizeof(StandardInformation) == 24, "FILE_STANDARD_INFORMATION");
static_assert(offsetof(NameInformation, FileName) == 4, "FILE_NAME_INFORMATION's name");
static_assert(sizeof(ObjectNameInformation) == sizeof(UnicodeString), "OBJECT_NAME_INFORMATION");
static_assert(sizeof(AttributeTagInformation) == 8, "FILE_ATTRIBUTE_TAG_INFORMATION");
static_assert(sizeof(DispositionInformationEx) == 4, "FILE_DISPOSITION_INFORMATION_EX");

// The records travel as untyped pointers, as in every declaration of these
// calls the library cannot include: the function types stay those of ntdll.
using CreateFileCall = Status(WINAPI*)(HANDLE*, ULONG, PVOID /*ObjectAttributes*/, PVOID /*IoStatusBlock*/,
                                       LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using QueryDirectoryCall = Status(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, PVOID /*IoStatusBlock*/, PVOID, ULONG, int,
                                           BOOLEAN, PVOID /*UnicodeString*/, BOOLEAN);
using InformationCall = Status(WINAPI*)(HANDLE, PVOID /*IoStatusBlock*/, PVOID, ULONG, int);
using QueryObjectCall = Status(WINAPI*)(HANDLE, int, PVOID, ULONG, ULONG*);

struct Calls {
    CreateFileCall createFile = nullptr;
    QueryDirectoryCall queryDirectory = nullptr;
    InformationCall queryInformation = nullptr;
    InformationCall setInformation = nullptr;
    QueryObjectCall queryObject = nullptr;

    bool present() const {
        return createFile != nullptr && queryDirectory != nullptr && queryInformation != nullptr &&
               setInformation != nullptr && queryObject != nullptr;
    }
};

// The five calls; all null where any one is missing.  Cheap enough to ask
// for at the start of each removal.
Calls FindCalls();

}  // namespace ntfile
