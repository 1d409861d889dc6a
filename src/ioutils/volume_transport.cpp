// DiskVolume's sector transports: the raw volume device on the NT family,
// and vwin32's calls of the disk interrupts on Windows 95/98/Me.  Each call
// opens its device and closes it again.
#include <cstddef>
#include <cstdio>

#include "ioutils/disk_volume.h"
#include "ioutils/file_handle.h"

namespace {

constexpr char kVwin32Device[] = "\\\\.\\vwin32";
constexpr char kVolumeDeviceFormat[] = "\\\\.\\%c:";
constexpr char kSystemErrorTitle[] = "Greyfell - System Error";
constexpr char kDriveControlErrorFormat[] = "Error: %d";
constexpr char kDriveControlErrorTitle[] = "Drive Control Error";

// vwin32's control codes.
constexpr DWORD kVwin32Int25 = 2;  // absolute disk read
constexpr DWORD kVwin32Int26 = 3;  // absolute disk write
constexpr DWORD kVwin32Int21 = 6;  // interrupt 21h, here function 7305h
constexpr DWORD kExtendedAbsoluteDiskAccess = 0x7305;
constexpr DWORD kReadNormalData = 0x6000;   // 7305h's SI: normal file data...
constexpr DWORD kWriteNormalData = 0x6001;  // ...bit 0 set to write
constexpr DWORD kUseDiskTransferRecord = 0xFFFFFFFF;
constexpr DWORD kCarryFlag = 1;

// vwin32's register record.  The fields that carry addresses are pointer-
// wide: on the 32-bit system, where vwin32 lives, that is the 28-byte record.
struct Vwin32Registers {
    ULONG_PTR reg_EBX;
    ULONG_PTR reg_EDX;
    ULONG_PTR reg_ECX;
    ULONG_PTR reg_EAX;
    ULONG_PTR reg_EDI;
    ULONG_PTR reg_ESI;
    ULONG_PTR reg_Flags;
};

#pragma pack(push, 1)
struct DiskTransferRecord {
    DWORD firstSector;
    WORD sectorCount;
    ULONG_PTR buffer;
};
#pragma pack(pop)

static_assert(sizeof(ULONG_PTR) != 4 || sizeof(Vwin32Registers) == 28, "vwin32 takes 7 32-bit registers");
static_assert(sizeof(ULONG_PTR) != 4 || sizeof(DiskTransferRecord) == 10, "the disk-transfer record is packed");
static_assert(offsetof(DiskTransferRecord, buffer) == 6);

// True when the vwin32 call went through and came back with the carry clear.
bool CallVwin32(const FileHandle& vwin32, DWORD code, Vwin32Registers* regs) {
    DWORD returned = 0;
    return DeviceIoControl(vwin32.get(), code, regs, sizeof *regs, regs, sizeof *regs, &returned, nullptr) &&
           (regs->reg_Flags & kCarryFlag) == 0;
}

HANDLE OpenVwin32() { return CreateFileA(kVwin32Device, 0, 0, nullptr, 0, 0, nullptr); }

void ShowDriveControlError() {
    char text[64] = {};
    std::snprintf(text, sizeof text, kDriveControlErrorFormat, static_cast<int>(GetLastError()));
    MessageBoxA(nullptr, text, kDriveControlErrorTitle, MB_OK | MB_ICONERROR);
}

}  // namespace

DWORD DiskVolume::ReadSectors(void* buffer, DWORD firstSector, WORD count) {
    return TransferSectors(false, buffer, firstSector, count);
}

DWORD DiskVolume::WriteSectors(const void* buffer, DWORD firstSector, WORD count) {
    // The transports move bytes both ways through one buffer type; a write
    // only ever reads from it.
    return TransferSectors(true, const_cast<void*>(buffer), firstSector, count);
}

DWORD DiskVolume::TransferSectors(bool write, void* buffer, DWORD firstSector, WORD count) {
    switch (accessMethod) {
    case kVolumeDevice:
        return VolumeDeviceTransfer(write, buffer, firstSector, count);
    case kExtendedAccess:
    case kExtendedAccessLater:
        return ExtendedAccessTransfer(write, buffer, firstSector, count);
    case kInterrupt25:
        return InterruptTransfer(write, buffer, firstSector, count);
    default:
        return 0;
    }
}

DWORD DiskVolume::VolumeDeviceTransfer(bool write, void* buffer, DWORD firstSector, WORD count) {
    char name[8] = {};
    std::snprintf(name, sizeof name, kVolumeDeviceFormat, driveLetter);
    FileHandle device(CreateFileA(name, write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!device.valid()) {
        ShowLastSystemError();
        return 0;
    }
    // SetFilePointer with its high half, not SetFilePointerEx: the library
    // must load on Windows 95, whose kernel lacks the latter.
    const ULONGLONG offset = ULONGLONG{firstSector} * kSectorSize;
    LONG high = static_cast<LONG>(offset >> 32);
    if (SetFilePointer(device.get(), static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return 0;
    const DWORD bytes = DWORD{count} * kSectorSize;
    DWORD moved = 0;
    const BOOL ok = write ? WriteFile(device.get(), buffer, bytes, &moved, nullptr)
                          : ReadFile(device.get(), buffer, bytes, &moved, nullptr);
    if (!ok || moved != bytes) {
        ShowLastSystemError();
        return 0;
    }
    return 1;
}

DWORD DiskVolume::ExtendedAccessTransfer(bool write, void* buffer, DWORD firstSector, WORD count) {
    FileHandle vwin32(OpenVwin32());
    if (!vwin32.valid()) {
        if (write)
            ShowLastSystemError();
        return 0;
    }
    DiskTransferRecord record{firstSector, count, reinterpret_cast<ULONG_PTR>(buffer)};
    Vwin32Registers regs{};
    regs.reg_EAX = kExtendedAbsoluteDiskAccess;
    regs.reg_EBX = reinterpret_cast<ULONG_PTR>(&record);
    regs.reg_ECX = kUseDiskTransferRecord;
    regs.reg_EDX = static_cast<ULONG_PTR>(driveLetter - 'A' + 1);  // 1-based: A is 1
    regs.reg_ESI = write ? kWriteNormalData : kReadNormalData;
    regs.reg_Flags = kCarryFlag;  // preset: a call that does nothing counts as failed
    if (CallVwin32(vwin32, kVwin32Int21, &regs))
        return 1;
    if (!write)
        ShowDriveControlError();
    return 0;
}

DWORD DiskVolume::InterruptTransfer(bool write, void* buffer, DWORD firstSector, WORD count) {
    FileHandle vwin32(OpenVwin32());
    if (!vwin32.valid()) {
        if (write)
            ShowLastSystemError();
        return 0;
    }
    DiskTransferRecord record{firstSector, count, reinterpret_cast<ULONG_PTR>(buffer)};
    Vwin32Registers regs{};
    regs.reg_EAX = static_cast<ULONG_PTR>(driveLetter - 'A');  // 0-based: A is 0
    regs.reg_EBX = reinterpret_cast<ULONG_PTR>(&record);
    regs.reg_ECX = kUseDiskTransferRecord;
    regs.reg_Flags = kCarryFlag;
    return CallVwin32(vwin32, write ? kVwin32Int26 : kVwin32Int25, &regs) ? 1 : 0;
}

void DiskVolume::ShowLastSystemError() {
    const DWORD error = GetLastError();
    char text[512] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr) == 0)
        // A code the system has no text for still says which error it was.
        std::snprintf(text, sizeof text, kDriveControlErrorFormat, static_cast<int>(error));
    MessageBoxA(nullptr, text, kSystemErrorTitle, MB_OK | MB_ICONINFORMATION);
}
