// TransferData: the endpoint's life cycle and the delivery of one packet.
#include <cstdio>
#include <new>

#include "messaging/transfer_data.h"
#include "platform/critical_section.h"

namespace {

constexpr int kAttempts = 10;  // the first attempt and 9 retries
constexpr DWORD kPipeRetryMs = 500;
constexpr DWORD kWindowRetryMs = 1000;
// How long IsReceiving waits for the receiving thread to make its pipe.
constexpr DWORD kFirstPipeWaitMs = 5000;
constexpr DWORD kFirstPipePollMs = 10;

constexpr char kNotResponding[] =
    "A Nullmark application does not appear to be responding.\nYou should reboot or try reinstalling Nullmark.";
constexpr char kOutOfMemory[] = "--** Error **--  Out of memory.";

CriticalSection g_semaphoreSharesLock;

// The endpoint is class-wide, and the shell runs each folder window's
// commands on that window's own thread: construction, destruction,
// Initialize and the packing of each send take turns under this lock.  No
// wait is ever made while it is held (a send delivers its packet after
// leaving it), so one window's unanswered box or hung destination never
// holds up another window.
CriticalSection g_endpointLock;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

BYTE TransferData::m_byInCaller = 0;
BYTE TransferData::m_byInDestination = 0;
BYTE TransferData::m_byInOperation = 0;
DWORD TransferData::m_dwInDataLength = 0;
BYTE* TransferData::m_pInData = nullptr;
BYTE TransferData::m_byCaller = 0;
bool TransferData::m_bWindowsNT = false;
bool TransferData::m_bPacketWaiting = false;
BYTE* TransferData::m_pReceiveBuffer = nullptr;
HANDLE TransferData::m_hSemaphore = nullptr;
LONG TransferData::m_nSemaphoreShares = 0;
HANDLE TransferData::m_hThread = nullptr;
HWND TransferData::m_hWnd = nullptr;
LONG TransferData::m_nInstances = 0;

TransferData::TransferData() {
    CriticalSectionLock guard(g_endpointLock);
    if (++m_nInstances == 1)
        TakeSemaphoreShare();
}

TransferData::~TransferData() {
    bool closed = true;
    BYTE self = 0;
    {
        CriticalSectionLock guard(g_endpointLock);
        self = m_byCaller;
        if (--m_nInstances == 0) {
            closed = Close();
            DropSemaphoreShare();
        }
    }
    // Close's own waits are short and keep a new endpoint from meeting the
    // old receiving thread on its pipe; its box waits for a person, so it
    // comes after the lock.
    if (!closed)
        ShowCloseError(self);
}

// The mailbox semaphore lives while anyone may wait on it: the objects hold
// one share from the first construction to the last destruction, and each
// receiving thread one of its own until it ends.  So a thread that Close
// could not stop keeps the very semaphore it started with, and a later
// endpoint shares it instead of replacing it under the thread.
//
// A share whose semaphore could not be made holds none, and whoever takes the
// next share tries again; false means there is no semaphore to wait on, and
// no receiver may start without one.
bool TransferData::TakeSemaphoreShare() {
    CriticalSectionLock guard(g_semaphoreSharesLock);
    ++m_nSemaphoreShares;
    if (m_hSemaphore == nullptr) {
        m_hSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
        if (m_hSemaphore == nullptr)
            Trace(Format("Could not create the mailbox semaphore.  Error: %lu",
                         static_cast<unsigned long>(GetLastError())));
    }
    return m_hSemaphore != nullptr;
}

void TransferData::DropSemaphoreShare() {
    CriticalSectionLock guard(g_semaphoreSharesLock);
    if (m_nSemaphoreShares == 0 || --m_nSemaphoreShares != 0)
        return;
    if (m_hSemaphore != nullptr)
        CloseHandle(m_hSemaphore);
    m_hSemaphore = nullptr;
}

void TransferData::Initialize(CallerId self, HINSTANCE hInstance) {
    CriticalSectionLock guard(g_endpointLock);
    if (m_hThread != nullptr)
        return;  // already an endpoint: the first identity stays
    m_byCaller = self;
    m_hInstance = hInstance;
    Trace("TransferData Initialized");

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        m_bWindowsNT = true;
        m_hWnd = nullptr;
        StartReceiver(self, hInstance, version);
        return;
    }
    m_bWindowsNT = false;
    // The shell extension only sends: it needs no window of its own.  Nor
    // does anyone get a window whose mailbox has no lock.
    m_hWnd = nullptr;
    if (self != NMShellExt) {
        if (TakeSemaphoreShare())
            m_hWnd = CreateReceivingWindow(hInstance);
        DropSemaphoreShare();  // the objects' share keeps the semaphore alive
    }
    m_hThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(1));
}

// The thread says once whether it made its pipe; a thread that ends says no
// more, so its end is waited on meanwhile.
bool TransferData::IsReceiving() {
    CriticalSectionLock guard(g_endpointLock);
    if (m_hThread == nullptr)
        return false;
    if (!m_bWindowsNT)
        return m_hWnd != nullptr;
    for (DWORD waited = 0; waited < kFirstPipeWaitMs; waited += kFirstPipePollMs) {
        const LONG firstPipe = InterlockedCompareExchange(&m_pReceiver->firstPipe, kPipePending, kPipePending);
        if (WaitForSingleObject(m_hThread, firstPipe == kPipePending ? kFirstPipePollMs : 0) != WAIT_TIMEOUT)
            return false;
        if (firstPipe != kPipePending)
            return firstPipe == kPipeMade;
    }
    return false;
}

// One more load of the module whose handle Initialize was given (the DLL's
// own handle, or the program's): by its file name, the one way that every
// Windows version offers (GetModuleHandleExA came with XP).
HMODULE TransferData::ReferenceModule(HINSTANCE hInstance) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return LoadLibraryA(path);
}

bool TransferData::SendPacket(CallerId destination, TransferOperation operation,
                              const std::vector<std::string>& strings) {
    return SendOutgoing(destination, operation, &strings, 0, nullptr);
}

bool TransferData::SendPacket(CallerId destination, TransferOperation operation, DWORD length, const void* data) {
    return SendOutgoing(destination, operation, nullptr, length, data);
}

// Packs a list of strings, or else `length` bytes of `data`, with the
// endpoint's identity, under the lock; delivers it without.
bool TransferData::SendOutgoing(BYTE destination, BYTE operation, const std::vector<std::string>* strings,
                                DWORD length, const void* data) {
    Outgoing packet;
    packet.destination = destination;
    packet.operation = operation;
    packet.dataLength = length;
    try {
        CriticalSectionLock guard(g_endpointLock);
        packet.caller = m_byCaller;
        packet.windowsNT = m_bWindowsNT;
        if (strings != nullptr)
            PackStrings(&packet, *strings);
        else
            PackData(&packet, data);
    } catch (const std::bad_alloc&) {
        SetLastErrorText(kOutOfMemory);
        Trace(kOutOfMemory);
        return false;
    }
    return Transmit(packet);
}

bool TransferData::Transmit(const Outgoing& packet) {
    TraceOutgoing(packet);
    return packet.windowsNT ? TransmitToPipe(packet) : TransmitToWindow(packet);
}

bool TransferData::TransmitToPipe(const Outgoing& packet) {
    const std::string pipeName = PipeName(packet.destination);
    int tries = kAttempts;
    HANDLE pipe = CreateFileA(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    --tries;
    while (pipe == INVALID_HANDLE_VALUE) {
        if (tries == 0) {
            const std::string text = Format("--** Timeout **--  Could not communicate with %s.  No pipe to write to.",
                                            CallerName(packet.destination).c_str());
            SetLastErrorText(text);
            Trace(text);
            ShowError(kNotResponding, packet.caller);
            return false;
        }
        // A receiver has no instance between two connections: a busy or
        // missing pipe is normal for a moment.
        SetLastErrorText(Format("Pipe open attempt failed.\n%i tries left.", tries));
        Sleep(kPipeRetryMs);
        pipe = CreateFileA(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        --tries;
    }

    bool result = true;
    DWORD written = 0;
    if (!WriteFile(pipe, packet.buffer.get(), 7 + packet.dataLength, &written, nullptr)) {
        const std::string text = Format("--** Failed to send packet to %s **--  Pipe must have been closed.",
                                        CallerName(packet.destination).c_str());
        SetLastErrorText(text);
        Trace(text);
        result = false;
    }
    FlushFileBuffers(pipe);  // returns once the receiver has read the packet
    CloseHandle(pipe);
    return result;
}

bool TransferData::TransmitToWindow(const Outgoing& packet) {
    const std::string title = RouterName(packet.destination);
    int tries = kAttempts;
    HWND window = FindWindowA(nullptr, title.c_str());
    --tries;
    while (window == nullptr) {
        if (tries == 0) {
            SetLastErrorText(title + " Window does not exist.\nIt must not currently be running.");
            // The shell must not be held up by a box about a component that
            // is simply not running.
            if (packet.caller != NMShellExt)
                ShowError(kNotResponding, packet.caller);
            return false;
        }
        const std::string text = Format("Could not find destination window.\n%i tries left.", tries);
        SetLastErrorText(text);
        Trace(text);
        Sleep(kWindowRetryMs);
        window = FindWindowA(nullptr, title.c_str());
        --tries;
    }

    SetForegroundWindow(window);
    COPYDATASTRUCT copyData{};
    copyData.dwData = packet.operation;
    copyData.cbData = 7 + packet.dataLength;
    copyData.lpData = packet.buffer.get();
    SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copyData));
    return true;
}
