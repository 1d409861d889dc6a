// TransferData: the product's request protocol between its components.
//
// A packet names its sender, its destination and an operation, followed by
// an opaque block of data:
//
//   offset 0  1 byte   sender (CallerId)
//          1  1 byte   destination (CallerId)
//          2  1 byte   operation (TransferOperation)
//          3  4 bytes  data length N, most significant byte first
//          7  N bytes  data
//
// On the Windows NT family a packet goes to the destination's named pipe
// "\\.\pipe\Router<id>"; on Windows 9x to its hidden "Messenger" window in a
// WM_COPYDATA message.  All state except the module handle is class-wide: a
// process is one messaging endpoint however many objects it creates.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

// Component identities.
using CallerId = BYTE;
enum : CallerId {
    NMVuz = 0,
    NMBase = 1,
    NMScanner = 2,
    NMTray = 3,
    NMShellExt = 4,
    NMDragDrop = 5,
    NMWatch = 6,
    NMIEClean = 7,
    NMAgent = 8,
    NMRegManager = 9,
    Launcher = 10,
    Uninstall = 11,
    NMService = 12,
};

// Operation codes; the numbers are fixed, gaps included.
using TransferOperation = BYTE;
enum : TransferOperation {
    ZOVU_DEFAULT_MESSAGE = 0,
    ZOVU_STOP_TRAY = 1,
    ZOVU_STOP_WATCH = 2,
    ZOVU_STOP_REGMAN = 3,
    ZOVU_RUN_VUZ = 4,
    ZOVU_RUN_NMBASE = 5,
    ZOVU_RUN_NULLSCAN = 6,
    ZOVU_RUN_TRAY = 7,
    ZOVU_RUN_IECLEAN = 9,
    ZOVU_RUN_NMAGENT = 10,
    ZOVU_RUN_REGMANAGER = 11,
    ZOVU_RUN_SPACE = 12,
    ZOVU_RUN_EXPLORER = 13,
    ZOVU_SHOW_TRAYICON = 16,
    ZOVU_HIDE_TRAYICON = 17,
    ZOVU_REQUEST_REGSCAN = 18,
    ZOVU_REPLY_REGSCAN = 19,
    ZOVU_REQUEST_INTERNETREGSCAN = 28,
    ZOVU_REPLY_INTERNETREGSCAN = 29,
    ZOVU_REQUEST_REGCLEAN = 30,
    ZOVU_REPLY_REGCLEAN = 31,
    ZOVU_REQUEST_INTERNETREGCLEAN = 32,
    ZOVU_REPLY_INTERNETREGCLEAN = 33,
    ZOVU_REQUEST_WINTEMP = 34,
    ZOVU_REPLY_WINTEMP = 35,
    ZOVU_CLEAN_LOGIN = 36,
    ZOVU_CLEAN_BINS = 37,
    ZOVU_REQUEST_REG_HTML = 38,
    ZOVU_REPLY_REG_HTML = 39,
    ZOVU_EXECUTE_FILE = 40,
    ZOVU_QUERY_CLEAN = 42,
    ZOVU_REPLY_CLEAN = 43,
};

// A received packet as GetPacket hands it over.  `data` (null when the
// length is 0) belongs to whoever took the packet: release it with
// TransferData::FreePacketData.
struct TransferPacket {
    BYTE caller;
    BYTE destination;
    BYTE operation;
    DWORD dataLength;
    BYTE* data;
};

// Where the receiving side reads a pipe request from.  ReceiveFromPipe reads
// the connected pipe through it; tests and fuzzers hand in bytes without a
// pipe.  Read has ReadFile's contract: FALSE on failure, *read = 0 once the
// writer has gone.
class PacketReader {
public:
    virtual ~PacketReader() = default;
    virtual BOOL Read(void* buffer, DWORD size, DWORD* read) = 0;
};

// One messaging endpoint per process: create an object, Initialize it with
// the process's identity, SendPacket, destroy it.  The last destruction in
// the process closes the endpoint.  Objects may live on several threads (the
// shell's window threads): the endpoint's state is theirs to share under one
// lock, while each send builds a packet of its own and delivers it without
// that lock, so that a send waiting on its destination, its retries or its
// box never holds up another thread's.
class TransferData {
public:
    TransferData();
    virtual ~TransferData();
    TransferData(const TransferData&) = delete;
    TransferData& operator=(const TransferData&) = delete;

    void Initialize(CallerId self, HINSTANCE hInstance);

    bool SendPacket(CallerId destination, TransferOperation operation, const std::vector<std::string>& strings);
    // The caller keeps `data`; it is copied into the packet.
    bool SendPacket(CallerId destination, TransferOperation operation, DWORD length, const void* data);

    // Waits for the mailbox; seconds 0 waits without limit.  The packet's data
    // then belongs to the caller (FreePacketData).
    bool GetPacket(TransferPacket* packet, UINT seconds);
    static void FreePacketData(TransferPacket* packet);

    static void UnpackStrings(const TransferPacket& packet, std::vector<std::string>* strings, bool dump);

    // A packet received by a component's own window procedure (Windows 9x).
    static int ReceiveCopyData(const COPYDATASTRUCT* copyData);
    static LRESULT CALLBACK RouterWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The receiving thread; its parameter is the Receiver that Initialize
    // made for it.
    static DWORD WINAPI MessengerThread(LPVOID parameter);
    // The receiving pipe's mode on the system `version` describes (byte
    // stream, blocking, local clients only where the system can say so).
    static DWORD ReceivingPipeMode(const OSVERSIONINFOA& version);
    // The part of ReceiveFromPipe after a client has connected, on the
    // receiving thread: 0 (failure), 1 (a packet taken in), 126 (a close
    // request for this thread) or kReceiveIgnored (one for another thread).
    static int ReceiveRequest(PacketReader& reader);

    // Whether this process's endpoint takes packets: on the NT family its
    // receiving thread made its pipe and has not ended (waited for until the
    // thread has tried, 5 s at most), on Windows 9x its receiving window
    // exists.  When the pipe could not be made (another process holds the
    // name), the last-error text says so.
    static bool IsReceiving();

    static bool IsPacketWaiting();
    static void SetPacketWaiting(bool waiting);

    static std::string GetLastErrorText();
    static std::string CallerName(BYTE id);
    static std::string OperationName(BYTE code);
    static std::string RouterName(BYTE id);
    // "\\.\pipe\" + RouterName: the identity's receiving pipe.
    static std::string PipeName(BYTE id);
    static std::string FirstBytesText(DWORD length, const BYTE* data);
    static DWORD ReadBigEndian32(const BYTE* bytes, DWORD offset);

    static void SetTraceSink(std::function<void(const std::string&)> sink);

    // Largest data length a receiver accepts (see receiving.cpp).
    static constexpr DWORD kMaxDataLength = 64u * 1024 * 1024;
    // The close request: the close byte, then the id of the receiving thread
    // it is meant for, most significant byte first.  A bare close byte (an
    // older sender's) is obeyed by any thread (docs: the close request).
    static constexpr BYTE kCloseByte = 0x7E;
    static constexpr DWORD kCloseRequestSize = 5;
    static constexpr int kReceiveClosed = 126;
    static constexpr int kReceiveIgnored = 2;

private:
    friend class TransferDataProbe;  // benchmarks and fuzzers look inside

    // What the endpoint and its receiving thread share, each holding one
    // reference: the reference on the module that the thread gives back as
    // it ends, and the thread's own copies of the identity and the platform,
    // which a later Initialize may change while a thread that Close could not
    // wait for still runs.  The thread raises `running` as it begins and says
    // in `firstPipe` whether it could make its pipe; Close raises `stopping`.
    // The thread also holds a share of the mailbox semaphore from before it
    // starts.
    struct Receiver {
        LONG references;
        LONG running;
        LONG firstPipe;  // kPipePending, kPipeMade or kPipeRefused
        LONG stopping;
        DWORD threadId;
        HMODULE module;
        BYTE caller;
        bool windowsNT;
        DWORD pipeMode;
    };

    // One packet on its way, the sending thread's own: its header fields, the
    // transport and sender it was packed for, and the bytes.
    struct Outgoing {
        BYTE caller = 0;
        BYTE destination = 0;
        BYTE operation = 0;
        bool windowsNT = false;
        DWORD dataLength = 0;
        std::unique_ptr<BYTE[]> buffer;  // 7 + dataLength bytes
    };

    static void PackStrings(Outgoing* packet, const std::vector<std::string>& strings);
    static void PackData(Outgoing* packet, const void* data);
    bool SendOutgoing(BYTE destination, BYTE operation, const std::vector<std::string>* strings, DWORD length,
                      const void* data);
    static bool Transmit(const Outgoing& packet);
    static bool TransmitToPipe(const Outgoing& packet);
    static bool TransmitToWindow(const Outgoing& packet);

    static void StartReceiver(BYTE self, HINSTANCE hInstance, const OSVERSIONINFOA& version);
    static void ServePipe(Receiver& receiver);
    static HANDLE CreateReceivingPipe(const Receiver& receiver, DWORD* error);
    static HANDLE NextPipe(Receiver& receiver);
    static int ReceiveFromPipe(HANDLE pipe, BYTE self);
    static bool Stopping(Receiver& receiver);
    static constexpr LONG kPipePending = 0, kPipeMade = 1, kPipeRefused = 2;
    static void ReleaseReceiver(Receiver* receiver);
    static bool SendCloseRequest(BYTE self, DWORD threadId);
    static int ParsePacket(BYTE* block);  // a whole packet, an owned block, into the mailbox
    static bool GrowReceiveBlock(std::unique_ptr<BYTE[]>* block, DWORD used, DWORD* capacity, DWORD limit);
    static void ReleaseReceiveBuffer();
    static HWND CreateReceivingWindow(HINSTANCE hInstance);
    static BYTE* CopyDataBlock(const COPYDATASTRUCT* copyData);
    static bool TakeMailbox(TransferPacket* packet);
    static bool Close();
    static void ShowCloseError(BYTE self);
    static HMODULE ReferenceModule(HINSTANCE hInstance);
    static bool TakeSemaphoreShare();
    static void DropSemaphoreShare();

    static void SetLastErrorText(const std::string& text);
    static void ShowError(const std::string& text, BYTE self);
    static void Trace(const std::string& line);
    static bool Tracing();
    static void TraceOutgoing(const Outgoing& packet);
    static void TraceIncoming(BYTE caller, BYTE destination, BYTE operation, DWORD length, const BYTE* data);

    HINSTANCE m_hInstance = nullptr;

    static std::string m_strLastError;  // guarded: both threads store failures

    static BYTE m_byInCaller;
    static BYTE m_byInDestination;
    static BYTE m_byInOperation;
    static DWORD m_dwInDataLength;
    static BYTE* m_pInData;

    static BYTE m_byCaller;

    static bool m_bWindowsNT;
    static bool m_bPacketWaiting;
    static BYTE* m_pReceiveBuffer;  // the packet being read, under the mailbox semaphore
    static HANDLE m_hSemaphore;  // one share per live thread, one for all objects
    static LONG m_nSemaphoreShares;
    static HANDLE m_hThread;
    static Receiver* m_pReceiver;  // the receiving thread's, while it is the endpoint's
    static HWND m_hWnd;
    static LONG m_nInstances;
};
