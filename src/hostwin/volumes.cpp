// Raw volumes: drives backed by disk-image files, opened as "\\.\X:" or
// reached through the Windows 9x vwin32 device, and the NTFS volume bitmap
// through ntdll.dll's NtFsControlFile.  ntdll.dll also carries the file calls
// of nt_files.cpp.  Transfers move whole 512-byte
// sectors; what lies past the image's end is not transferred (a read or
// write that crosses it is short, as on an image file under Wine).
#include "volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drives_state.h"
#include "errors.h"
#include "faults.h"
#include "files.h"
#include "files_internal.h"
#include "handles.h"
#include "machine.h"
#include "machine_state.h"
#include "modules.h"
#include "registry_store.h"

namespace hostwin::detail {
namespace {

constexpr ULONGLONG kSectorSize = 512;

// NTSTATUS values and the one file-system control simulated here.
using NtStatus = LONG;
constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusPending = 0x103;
constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kStatusInvalidHandle = static_cast<NtStatus>(0xC0000008);
constexpr NtStatus kStatusInvalidParameter = static_cast<NtStatus>(0xC000000D);
constexpr NtStatus kStatusInvalidDeviceRequest = static_cast<NtStatus>(0xC0000010);
constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023);
constexpr ULONG kFsctlGetVolumeBitmap = 0x9006F;

struct IoStatusBlock {
    union {
        NtStatus Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};

// vwin32's register record; the address-carrying fields are pointer-wide,
// which is the 28-byte record of the 32-bit system.
struct Vwin32Registers {
    ULONG_PTR ebx, edx, ecx, eax, edi, esi, flags;
};
#pragma pack(push, 1)
struct DiskIo {
    DWORD startSector;
    WORD sectors;
    ULONG_PTR buffer;
};
#pragma pack(pop)

constexpr DWORD kVwin32Int25 = 2;
constexpr DWORD kVwin32Int26 = 3;
constexpr DWORD kVwin32Int21 = 6;
constexpr ULONG_PTR kCarry = 1;
// DOS answers in AX when the carry is set.
constexpr ULONG_PTR kDosInvalidDrive = 0x0F;
constexpr ULONG_PTR kDosWriteProtect = 0x13;
constexpr ULONG_PTR kDosSectorNotFound = 0x1B;
constexpr ULONG_PTR kDosUnsupported = 0x7300;  // 7305h before Windows 95 OSR2

struct VolumeImage {
    std::string imagePath;
    std::string bitmapPath;  // empty: no bitmap to answer with
    ULONGLONG clusters = 0;
};

struct RawOpen {
    char letter;
    DWORD access;
    DWORD share;
};

struct VolumeTable {
    std::mutex mutex;
    std::map<char, VolumeImage> images;
    std::map<unsigned long long, RawOpen> opens;
    unsigned long long nextOpenId = 0;
    bool bitmapPending = false;
};

VolumeTable& Volumes() {
    static VolumeTable t;
    return t;
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool FindImage(char letter, VolumeImage* image) {
    DriveInfo drive;
    if (!FindDrive(letter, &drive))
        return false;
    auto& t = Volumes();
    std::lock_guard lock(t.mutex);
    auto it = t.images.find(Upper(letter));
    if (it == t.images.end())
        return false;
    *image = it->second;
    return true;
}

bool ImageReadOnly(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

ULONGLONG FileSize(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<ULONGLONG>(st.st_size) : 0;
}

// Transfers the part of [offset, offset + size) that lies inside the image.
DWORD Transfer(int fd, bool write, ULONGLONG offset, void* buffer, DWORD size) {
    const ULONGLONG end = FileSize(fd);
    if (offset >= end)
        return 0;
    const auto count = static_cast<size_t>(std::min<ULONGLONG>(size, end - offset));
    const ssize_t n = write ? ::pwrite(fd, buffer, count, static_cast<off_t>(offset))
                            : ::pread(fd, buffer, count, static_cast<off_t>(offset));
    return n < 0 ? 0 : static_cast<DWORD>(n);
}

// "\\.\X:" on an image-backed drive.  The handle is signalled except while
// a volume-bitmap request it answered with STATUS_PENDING is still running.
class RawVolume : public KernelObject {
public:
    RawVolume(char letter, int fd, DWORD access, unsigned long long openId)
        : letter_(letter), fd_(fd), access_(access), openId_(openId) {}
    ~RawVolume() override {
        if (worker_.joinable())
            worker_.join();
        ::close(fd_);
        std::lock_guard lock(Volumes().mutex);
        Volumes().opens.erase(openId_);
    }

    DWORD Read(void* buffer, DWORD size, DWORD* read) override { return Move(false, buffer, size, read); }
    DWORD Write(const void* buffer, DWORD size, DWORD* written) override {
        return Move(true, const_cast<void*>(buffer), size, written);
    }
    DWORD Flush() override { return ERROR_SUCCESS; }

    DWORD Seek(LONGLONG distance, DWORD method, ULONGLONG* position) override {
        std::lock_guard lock(mutex_);
        LONGLONG base;
        if (method == FILE_BEGIN)
            base = 0;
        else if (method == FILE_CURRENT)
            base = static_cast<LONGLONG>(position_);
        else if (method == FILE_END)
            base = static_cast<LONGLONG>(FileSize(fd_));
        else
            return ERROR_INVALID_PARAMETER;
        if (base + distance < 0)
            return ERROR_NEGATIVE_SEEK;
        position_ = static_cast<ULONGLONG>(base + distance);
        *position = position_;
        return ERROR_SUCCESS;
    }

    DWORD Size(ULONGLONG* size) override {
        *size = FileSize(fd_);
        return ERROR_SUCCESS;
    }

    DWORD Wait(DWORD milliseconds, DWORD* /*error*/) override {
        std::unique_lock lock(mutex_);
        const auto idle = [&] { return !busy_; };
        if (milliseconds == INFINITE)
            done_.wait(lock, idle);
        else if (!done_.wait_for(lock, std::chrono::milliseconds(milliseconds), idle))
            return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }

    NtStatus GetVolumeBitmap(IoStatusBlock* status, const void* in, ULONG inSize, void* out, ULONG outSize) {
        VolumeImage image;
        if (!FindImage(letter_, &image) || image.bitmapPath.empty())
            return Complete(status, kStatusInvalidDeviceRequest, 0);
        if (in == nullptr || inSize < sizeof(LONGLONG))
            return Complete(status, kStatusInvalidParameter, 0);
        constexpr ULONG kHeader = 2 * sizeof(LONGLONG);
        if (out == nullptr || outSize < kHeader)
            return Complete(status, kStatusBufferTooSmall, 0);
        LONGLONG requested;
        std::memcpy(&requested, in, sizeof requested);
        if (requested < 0 || static_cast<ULONGLONG>(requested) >= image.clusters)
            return Complete(status, kStatusInvalidParameter, 0);
        bool pending;
        {
            std::lock_guard lock(Volumes().mutex);
            pending = Volumes().bitmapPending;
        }
        if (!pending)
            return AnswerBitmap(image, static_cast<ULONGLONG>(requested), status, out, outSize);
        // Answered a moment later on another thread; the handle is signalled
        // when the answer is in place.
        if (worker_.joinable())
            worker_.join();
        {
            std::lock_guard lock(mutex_);
            busy_ = true;
        }
        worker_ = std::thread([this, image, requested, status, out, outSize] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            AnswerBitmap(image, static_cast<ULONGLONG>(requested), status, out, outSize);
            std::lock_guard lock(mutex_);
            busy_ = false;
            done_.notify_all();
        });
        return kStatusPending;
    }

private:
    static NtStatus Complete(IoStatusBlock* status, NtStatus result, ULONG_PTR information) {
        if (status != nullptr) {
            status->Status = result;
            status->Information = information;
        }
        return result;
    }

    // The bitmap from the starting cluster rounded down to a multiple of 8,
    // as much of it as fits after the 16-byte header.
    static NtStatus AnswerBitmap(const VolumeImage& image, ULONGLONG requested, IoStatusBlock* status, void* out,
                                 ULONG outSize) {
        const ULONGLONG start = requested & ~7ull;
        const ULONGLONG bits = image.clusters - start;
        const ULONGLONG bytes = (bits + 7) / 8;
        const ULONG room = outSize - 16;
        const auto copied = static_cast<ULONG>(std::min<ULONGLONG>(bytes, room));
        auto* answer = static_cast<BYTE*>(out);
        std::memcpy(answer, &start, 8);
        std::memcpy(answer + 8, &bits, 8);
        std::memset(answer + 16, 0xFF, copied);  // a bitmap file cut short reads as clusters in use
        const int fd = ::open(image.bitmapPath.c_str(), O_RDONLY);
        if (fd >= 0) {
            const ssize_t n = ::pread(fd, answer + 16, copied, static_cast<off_t>(start / 8));
            (void)n;
            ::close(fd);
        }
        return Complete(status, copied < bytes ? kStatusBufferOverflow : kStatusSuccess, 16 + copied);
    }

    // Volume transfers start and end on sector boundaries.
    DWORD Move(bool write, void* buffer, DWORD size, DWORD* moved) {
        std::lock_guard lock(mutex_);
        *moved = 0;
        if (write ? !Writes(access_) : !Reads(access_))
            return ERROR_ACCESS_DENIED;
        DWORD error;
        if (TakeInjectedFailure(write ? "WriteFile" : "ReadFile", &error))
            return error;
        if (position_ % kSectorSize != 0 || size % kSectorSize != 0)
            return ERROR_INVALID_PARAMETER;
        *moved = Transfer(fd_, write, position_, buffer, size);
        position_ += *moved;
        return ERROR_SUCCESS;
    }

    std::mutex mutex_;
    std::condition_variable done_;
    std::thread worker_;
    bool busy_ = false;
    char letter_;
    int fd_;
    DWORD access_;
    unsigned long long openId_;
    ULONGLONG position_ = 0;
};

// vwin32's calls of the disk interrupts, on the image behind a drive number.
class Vwin32Device : public KernelObject {
public:
    DWORD Control(DWORD code, Vwin32Registers* regs) {
        DWORD dosError;
        if (TakeInjectedFailure(("vwin32:" + std::to_string(code)).c_str(), &dosError))
            return Carry(regs, dosError);
        bool write;
        char letter;
        if (code == kVwin32Int25 || code == kVwin32Int26) {
            write = code == kVwin32Int26;
            letter = static_cast<char>('A' + (regs->eax & 0xFF));  // 0-based: A is 0
        } else if (code == kVwin32Int21 && (regs->eax & 0xFFFF) == 0x7305) {
            if ((CurrentOsVersion().build & 0xFFFF) <= 1000)
                return Carry(regs, kDosUnsupported);
            write = (regs->esi & 1) != 0;
            letter = static_cast<char>('A' + (regs->edx & 0xFF) - 1);  // 1-based: A is 1
        } else {
            return ERROR_INVALID_FUNCTION;
        }
        if (regs->ecx != 0xFFFFFFFFu || regs->ebx == 0)
            return Carry(regs, kDosSectorNotFound);
        DiskIo io;
        std::memcpy(&io, reinterpret_cast<const void*>(regs->ebx), sizeof io);
        VolumeImage image;
        if (!FindImage(letter, &image))
            return Carry(regs, kDosInvalidDrive);
        if (write && ImageReadOnly(image.imagePath))
            return Carry(regs, kDosWriteProtect);
        const int fd = ::open(image.imagePath.c_str(), write ? O_RDWR : O_RDONLY);
        if (fd < 0)
            return Carry(regs, kDosInvalidDrive);
        const DWORD size = static_cast<DWORD>(io.sectors * kSectorSize);
        const DWORD moved = Transfer(fd, write, io.startSector * kSectorSize, reinterpret_cast<void*>(io.buffer), size);
        ::close(fd);
        if (moved != size)
            return Carry(regs, kDosSectorNotFound);
        regs->flags &= ~kCarry;
        return ERROR_SUCCESS;
    }

private:
    static DWORD Carry(Vwin32Registers* regs, ULONG_PTR dosError) {
        regs->flags |= kCarry;
        regs->eax = dosError;
        return ERROR_SUCCESS;  // the call itself succeeded
    }
};

HANDLE OpenRawVolume(char letter, DWORD access, DWORD share, DWORD* error) {
    DriveInfo drive;
    if (!FindDrive(letter, &drive)) {
        *error = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    VolumeImage image;
    if (!FindImage(letter, &image)) {
        *error = ERROR_NOT_READY;  // a folder-backed drive has no sectors to offer
        return INVALID_HANDLE_VALUE;
    }
    auto& t = Volumes();
    std::lock_guard lock(t.mutex);
    for (const auto& [id, other] : t.opens) {
        if (other.letter == Upper(letter) && ShareConflict(access, share, other.access, other.share)) {
            *error = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
    }
    // An image without the owner's write permission is a write-protected
    // medium (for root too): it opens for reading only.
    const bool writes = Writes(access);
    if (writes && ImageReadOnly(image.imagePath)) {
        *error = ERROR_WRITE_PROTECT;
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(image.imagePath.c_str(), writes ? O_RDWR : O_RDONLY);
    if (fd < 0) {
        *error = ERROR_NOT_READY;
        return INVALID_HANDLE_VALUE;
    }
    const unsigned long long id = ++t.nextOpenId;
    t.opens[id] = RawOpen{Upper(letter), access, share};
    *error = ERROR_SUCCESS;
    return NewHandle(std::make_shared<RawVolume>(Upper(letter), fd, access, id));
}

LONG WINAPI NtFsControlFile(HANDLE FileHandle, HANDLE /*Event*/, PVOID /*ApcRoutine*/, PVOID /*ApcContext*/,
                            PVOID IoStatus, ULONG FsControlCode, PVOID InputBuffer, ULONG InputBufferLength,
                            PVOID OutputBuffer, ULONG OutputBufferLength) {
    auto object = LookUp(FileHandle);
    if (!object)
        return kStatusInvalidHandle;
    auto volume = std::dynamic_pointer_cast<RawVolume>(object);
    if (!volume || FsControlCode != kFsctlGetVolumeBitmap)
        return kStatusInvalidDeviceRequest;
    return volume->GetVolumeBitmap(static_cast<IoStatusBlock*>(IoStatus), InputBuffer, InputBufferLength, OutputBuffer,
                                   OutputBufferLength);
}

// ntdll.dll is mapped into every process from its start.
void RegisterNtdll() {
    std::vector<Machine::ModuleExport> exports{{"NtFsControlFile", &NtFsControlFile}};
    size_t count = 0;
    const NtFileExport* files = NtFileExports(&count);
    for (size_t i = 0; i < count; ++i) {
        exports.emplace_back(files[i].name, files[i].address);
        exports.back().ntFamilyOnly = true;
    }
    Machine::RegisterModule("ntdll.dll", exports);
    if (Machine::ModuleLoadCount("ntdll.dll") == 0)
        LoadLibraryA("ntdll.dll");
}

const bool g_ntdllRegistered = (RegisterNtdll(), true);

}  // namespace

bool IsDeviceName(const std::string& name) { return name.size() > 4 && name.compare(0, 4, "\\\\.\\") == 0; }

HANDLE OpenDevice(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD* error) {
    const std::string device = name.substr(4);
    if (device.size() == 2 && device[1] == ':' && std::isalpha(static_cast<unsigned char>(device[0]))) {
        if (disposition != OPEN_EXISTING) {
            *error = ERROR_INVALID_PARAMETER;
            return INVALID_HANDLE_VALUE;
        }
        return OpenRawVolume(device[0], access, share, error);
    }
    // The vwin32 driver exists on Windows 95/98/Me only, opened there with
    // creation disposition 0, which the NT family refuses as it does for any
    // other name.
    if (SameName(device, "vwin32") && CurrentOsVersion().platform == 1) {
        *error = ERROR_SUCCESS;
        return NewHandle(std::make_shared<Vwin32Device>());
    }
    *error = disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
}

void ResetVolumes() {
    {
        auto& t = Volumes();
        std::lock_guard lock(t.mutex);
        t.images.clear();
        t.bitmapPending = false;
    }
    (void)g_ntdllRegistered;
    RegisterNtdll();
}

}  // namespace hostwin::detail

using namespace hostwin::detail;

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED /*lpOverlapped*/) {
    if (FailIfInjected("DeviceIoControl"))
        return FALSE;
    auto object = LookUp(hDevice);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto vwin32 = std::dynamic_pointer_cast<Vwin32Device>(object);
    if (!vwin32) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (lpInBuffer == nullptr || nInBufferSize < sizeof(Vwin32Registers) || lpOutBuffer == nullptr ||
        nOutBufferSize < sizeof(Vwin32Registers)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Vwin32Registers regs;
    std::memcpy(&regs, lpInBuffer, sizeof regs);
    if (DWORD error = vwin32->Control(dwIoControlCode, &regs); error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    std::memcpy(lpOutBuffer, &regs, sizeof regs);
    if (lpBytesReturned)
        *lpBytesReturned = sizeof regs;
    return TRUE;
}

namespace hostwin {

bool Machine::AttachVolumeImage(char letter, const std::string& hostImagePath) {
    DriveInfo drive;
    if (!FindDrive(letter, &drive) || ::access(hostImagePath.c_str(), R_OK) != 0)
        return false;
    std::lock_guard lock(Volumes().mutex);
    Volumes().images[Upper(letter)] = VolumeImage{hostImagePath, "", 0};
    return true;
}

bool Machine::SetVolumeBitmap(char letter, const std::string& hostBitmapPath, ULONGLONG clusters) {
    std::lock_guard lock(Volumes().mutex);
    auto it = Volumes().images.find(Upper(letter));
    if (it == Volumes().images.end())
        return false;
    it->second.bitmapPath = hostBitmapPath;
    it->second.clusters = clusters;
    return true;
}

void Machine::SetVolumeBitmapPending(bool pending) {
    std::lock_guard lock(Volumes().mutex);
    Volumes().bitmapPending = pending;
}

void Machine::FailVwin32Call(DWORD controlCode, DWORD dosError, int times) {
    ArmFailure(("vwin32:" + std::to_string(controlCode)).c_str(), dosError, times);
}

}  // namespace hostwin
