// TransferData: taking packets in (a request from a pipe, a hidden window on
// Windows 9x) and the one-packet mailbox.
//
// Choices the protocol leaves open:
// - Declared data length.  The largest request the product sends is a
//   selection of paths (260 bytes each at most); kMaxDataLength (64 MiB)
//   carries about 250,000 of them.  A header declaring more is refused like
//   any invalid packet, and so is one whose receive block cannot be had; 7 + N
//   can never wrap.  The receive block grows with the bytes that arrive, so a
//   header alone never costs more than 64 KiB.
// - A WM_COPYDATA block must hold the 7-byte header and the N data bytes the
//   header declares; a shorter or missing block is refused like an invalid
//   packet.  Bytes after 7 + N are ignored.
// - The mailbox.  The semaphore guards the whole mailbox, not only its flag:
//   a packet is stored and the flag raised in one step, and GetPacket takes
//   the packet and lowers the flag in one step, so a packet arriving during a
//   hand-over can neither be torn nor lost behind a lowered flag.  A packet
//   that nobody took before the next one arrived is released.
// - The receive block.  A receiving thread that Close could not wait for may
//   still be in the middle of a packet while the next endpoint's thread takes
//   one: each reads into a block of its own, and m_pReceiveBuffer holds a
//   packet only while it is read, under the mailbox semaphore.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "messaging/transfer_data.h"

namespace {

constexpr DWORD kHeaderSize = 7;
constexpr DWORD kPollMs = 1000;
constexpr DWORD kFirstDataBlock = 64 * 1024;

constexpr char kWindowClass[] = "Messenger";
constexpr char kErrorTitle[] = "Error";

constexpr char kCouldNotRead[] = "--** Error **--  Could not read from pipe";
constexpr char kLostData[] = "--** Error **--  Lost or gained data in the pipe";
constexpr char kInvalidPipePacket[] = "--** Error **--  Invalid packet sent through pipe.";
constexpr char kInvalidWindowPacket[] = "--** Error **--  Invalid packet sent through window.";
constexpr char kOutOfMemory[] = "--** Error **--  Out of memory.";
constexpr char kNTCopyData[] = "--** Error **--  Windows NT based OS is communicating incorrectly.";
constexpr char kInvalidPacketBox[] = "An invalid packet was sent.";

// Holds the mailbox semaphore for one scope.  Without a semaphore (no object
// alive) there is nobody to race with.
class MailboxLock {
public:
    explicit MailboxLock(HANDLE semaphore) : semaphore_(semaphore) {
        held_ = semaphore_ != nullptr && WaitForSingleObject(semaphore_, INFINITE) == WAIT_OBJECT_0;
    }
    ~MailboxLock() {
        if (held_)
            ReleaseSemaphore(semaphore_, 1, nullptr);
    }
    MailboxLock(const MailboxLock&) = delete;
    MailboxLock& operator=(const MailboxLock&) = delete;

private:
    HANDLE semaphore_;
    bool held_ = false;
};

}  // namespace

int TransferData::ReceiveRequest(PacketReader& reader) {
    BYTE header[kHeaderSize];
    DWORD read = 0;
    if (!reader.Read(header, kHeaderSize, &read)) {
        SetLastErrorText(kCouldNotRead);
        Trace(kCouldNotRead);
        return 0;
    }
    // A close request names the receiving thread it is for; a bare close
    // byte, from a sender that names none, is obeyed by whichever thread
    // reads it.
    if ((read == 1 || read == kCloseRequestSize) && header[0] == kCloseByte) {
        if (read == kCloseRequestSize && ReadBigEndian32(header, 1) != GetCurrentThreadId()) {
            Trace("Close request for another receiving thread: ignored");
            return kReceiveIgnored;
        }
        Trace("Pipe Closed");
        return kReceiveClosed;
    }
    const DWORD length = read == kHeaderSize ? ReadBigEndian32(header, 3) : 0;
    if (read != kHeaderSize || length > kMaxDataLength) {
        SetLastErrorText(kInvalidPipePacket);
        Trace(kInvalidPipePacket);
        return 0;
    }

    // The block grows with the bytes that really come, so that a header which
    // declares much and sends little costs little.  A byte-mode pipe may hand
    // a large packet over in pieces: read on until the declared length has
    // come or the sender has gone.
    DWORD capacity = std::min(length, kFirstDataBlock);
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[kHeaderSize + capacity]);
    if (!block) {
        SetLastErrorText(kInvalidPipePacket);
        Trace(kInvalidPipePacket);
        return 0;
    }
    std::memcpy(block.get(), header, kHeaderSize);

    DWORD received = 0;
    while (received < length) {
        if (received == capacity && !GrowReceiveBlock(&block, received, &capacity, length)) {
            SetLastErrorText(kInvalidPipePacket);
            Trace(kInvalidPipePacket);
            return 0;
        }
        read = 0;
        if (!reader.Read(block.get() + kHeaderSize + received, capacity - received, &read)) {
            if (received > 0)
                break;  // came in part, then the sender went away
            SetLastErrorText(kCouldNotRead);
            Trace(kCouldNotRead);
            return 0;
        }
        if (read == 0 || read > capacity - received)
            break;
        received += read;
    }
    if (received != length) {
        SetLastErrorText(kLostData);
        Trace(kLostData);
        return 0;
    }
    return ParsePacket(block.release());
}

// The block is m_pReceiveBuffer, class-wide, only while it is read, under
// the mailbox semaphore.  The trace runs outside the semaphore: a trace sink
// may itself look at the mailbox, or send this endpoint a packet.
int TransferData::ParsePacket(BYTE* block) {
    BYTE caller, destination, operation;
    DWORD length;
    std::unique_ptr<BYTE[]> data;
    {
        MailboxLock lock(m_hSemaphore);
        m_pReceiveBuffer = block;
        caller = m_pReceiveBuffer[0];
        destination = m_pReceiveBuffer[1];
        operation = m_pReceiveBuffer[2];
        length = ReadBigEndian32(m_pReceiveBuffer, 3);
        if (length > 0) {
            data.reset(new (std::nothrow) BYTE[length]);
            if (data)
                std::memcpy(data.get(), m_pReceiveBuffer + kHeaderSize, length);
        }
        ReleaseReceiveBuffer();
    }
    if (length > 0 && !data) {
        SetLastErrorText(kOutOfMemory);
        Trace(kOutOfMemory);
        return 0;
    }
    TraceIncoming(caller, destination, operation, length, data.get());

    // The destination is not compared with the own identity: whatever
    // reaches this endpoint is taken in.
    MailboxLock lock(m_hSemaphore);
    delete[] m_pInData;  // a packet nobody took is replaced
    m_byInCaller = caller;
    m_byInDestination = destination;
    m_byInOperation = operation;
    m_dwInDataLength = length;
    m_pInData = data.release();
    m_bPacketWaiting = true;
    return 1;
}

bool TransferData::GrowReceiveBlock(std::unique_ptr<BYTE[]>* block, DWORD used, DWORD* capacity, DWORD limit) {
    const DWORD grown = *capacity > limit / 2 ? limit : *capacity * 2;
    std::unique_ptr<BYTE[]> bigger(new (std::nothrow) BYTE[kHeaderSize + grown]);
    if (!bigger)
        return false;
    std::memcpy(bigger.get(), block->get(), kHeaderSize + used);
    *block = std::move(bigger);
    *capacity = grown;
    return true;
}

void TransferData::ReleaseReceiveBuffer() {
    delete[] m_pReceiveBuffer;
    m_pReceiveBuffer = nullptr;
}

BYTE* TransferData::CopyDataBlock(const COPYDATASTRUCT* copyData) {
    const bool complete = copyData != nullptr && copyData->lpData != nullptr && copyData->cbData >= kHeaderSize &&
                          ReadBigEndian32(static_cast<const BYTE*>(copyData->lpData), 3) <= kMaxDataLength &&
                          copyData->cbData - kHeaderSize >= ReadBigEndian32(static_cast<const BYTE*>(copyData->lpData), 3);
    if (complete) {
        const DWORD size = kHeaderSize + ReadBigEndian32(static_cast<const BYTE*>(copyData->lpData), 3);
        if (BYTE* block = new (std::nothrow) BYTE[size]) {
            std::memcpy(block, copyData->lpData, size);
            return block;
        }
    }
    SetLastErrorText(kInvalidWindowPacket);
    Trace(kInvalidWindowPacket);
    return nullptr;
}

int TransferData::ReceiveCopyData(const COPYDATASTRUCT* copyData) {
    if (m_bWindowsNT) {
        SetLastErrorText(kNTCopyData);
        Trace(kNTCopyData);
        return 0;
    }
    BYTE* block = CopyDataBlock(copyData);
    return block != nullptr ? ParsePacket(block) : 0;
}

LRESULT CALLBACK TransferData::RouterWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA)
        return DefWindowProcA(hWnd, message, wParam, lParam);
    int r = 0;
    try {
        const auto* copyData = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        BYTE* block = CopyDataBlock(copyData);
        r = block != nullptr ? ParsePacket(block) : 0;
    } catch (...) {
        // Nothing may leave a window procedure; the packet counts as invalid.
    }
    if (r == 0)
        MessageBoxA(nullptr, kInvalidPacketBox, kErrorTitle, MB_ICONHAND);
    return 0;
}

HWND TransferData::CreateReceivingWindow(HINSTANCE hInstance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW;
    windowClass.lpfnWndProc = RouterWndProc;
    windowClass.hInstance = hInstance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    // Not examined: after a Close the class is still registered, and the
    // next Initialize creates its window with it.
    RegisterClassExA(&windowClass);
    return CreateWindowExA(WS_EX_CLIENTEDGE, kWindowClass, RouterName(m_byCaller).c_str(), WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance,
                           nullptr);
}

bool TransferData::IsPacketWaiting() {
    MailboxLock lock(m_hSemaphore);
    return m_bPacketWaiting;
}

void TransferData::SetPacketWaiting(bool waiting) {
    MailboxLock lock(m_hSemaphore);
    m_bPacketWaiting = waiting;
}

bool TransferData::TakeMailbox(TransferPacket* packet) {
    MailboxLock lock(m_hSemaphore);
    if (!m_bPacketWaiting)
        return false;
    packet->caller = m_byInCaller;
    packet->destination = m_byInDestination;
    packet->operation = m_byInOperation;
    packet->dataLength = m_dwInDataLength;
    packet->data = m_pInData;
    m_pInData = nullptr;  // the caller owns it now
    m_bPacketWaiting = false;
    return true;
}

bool TransferData::GetPacket(TransferPacket* packet, UINT seconds) {
    const bool limited = seconds > 0;
    while (!TakeMailbox(packet)) {
        if (limited && seconds-- == 0) {
            SetLastErrorText("Timeout on GetPacket");
            return false;
        }
        Sleep(kPollMs);
        // Lets a WM_COPYDATA sent to this thread's window reach RouterWndProc.
        MSG message;
        PeekMessageA(&message, m_hWnd, 0, 0, PM_NOREMOVE);
    }
    return true;
}
