// TransferData: the receiving thread of the NT family and its end.
//
// Every process that hosts the extension, and every copy of a component,
// uses its identity's one pipe name.  So an endpoint stops only its own
// thread, never by the name alone (docs: the close request):
// - A thread that cannot make its first pipe instance (another process holds
//   the name) ends at once, and IsReceiving says so.
// - Close raises the thread's `stopping` flag, then sends a close request
//   that names the thread.  The thread looks at the flag once each instance
//   exists and after each client, so either the request finds the instance
//   or the thread finds the flag; a request naming another thread is dropped.
// - Close then waits for the thread to end (at most kCloseWaitMs).  A thread
//   it cannot wait for (held behind a client that never writes, or not yet
//   running) ends by itself as soon as it looks at the flag, and holds the
//   module until then.
#include <cstdio>
#include <new>

#include "messaging/transfer_data.h"

namespace {

constexpr DWORD kCloseWaitMs = 500;
// Another process took the name between two of our instances: how long the
// thread waits before it tries for the name again.
constexpr DWORD kNameRetryMs = 100;

constexpr char kNoPipesOn9x[] = "Windows 9x does not support named pipes";
constexpr char kCouldNotCreatePipe[] = "Could not create pipe";
constexpr char kCouldNotReceive[] = "Nullmark application could not receive connection.";
constexpr char kFailedOnThread[] = "Failed to receive or parse packet on MessengerThread";
constexpr char kCouldNotClose[] = "Could not close pipe as expected.\n";

class PipeReader : public PacketReader {
public:
    explicit PipeReader(HANDLE pipe) : pipe_(pipe) {}
    BOOL Read(void* buffer, DWORD size, DWORD* read) override { return ReadFile(pipe_, buffer, size, read, nullptr); }

private:
    HANDLE pipe_;
};

// The name is another process's (or another endpoint's of ours, whose thread
// has not let go yet): its instance exists, or it was made another way.
bool NameTakenElsewhere(DWORD error) { return error == ERROR_PIPE_BUSY || error == ERROR_ACCESS_DENIED; }

}  // namespace

TransferData::Receiver* TransferData::m_pReceiver = nullptr;

// The thread's code lives in this module, and the thread may outlive Close:
// it holds a reference of its own, dropped only as it ends, so that the host
// can never unload the module under it.  No reference, no thread; and no
// thread without the mailbox semaphore's lock.
void TransferData::StartReceiver(BYTE self, HINSTANCE hInstance, const OSVERSIONINFOA& version) {
    auto* receiver = new (std::nothrow)
        Receiver{2, 0, kPipePending, 0, 0, nullptr, self, true, ReceivingPipeMode(version)};
    const bool shared = TakeSemaphoreShare();
    if (receiver != nullptr && shared)
        receiver->module = ReferenceModule(hInstance);
    if (receiver != nullptr && receiver->module != nullptr)
        m_hThread = CreateThread(nullptr, 0, MessengerThread, receiver, 0, &receiver->threadId);
    if (m_hThread != nullptr) {
        m_pReceiver = receiver;
        return;
    }
    DropSemaphoreShare();
    if (receiver != nullptr && receiver->module != nullptr)
        FreeLibrary(receiver->module);
    delete receiver;
    Trace("Error Creating Thread");
}

DWORD WINAPI TransferData::MessengerThread(LPVOID parameter) {
    auto* started = static_cast<Receiver*>(parameter);
    // Without its record the thread serves the class-wide endpoint; nothing
    // but a close request stops it, and it has no module reference or
    // semaphore share to give back.
    Receiver orphan{1, 0, kPipePending, 0, 0, nullptr, m_byCaller, m_bWindowsNT, 0};
    Receiver& receiver = started != nullptr ? *started : orphan;
    InterlockedExchange(&receiver.running, 1);
    try {
        if (started == nullptr) {
            Trace("Messenger Thread failed to receive a copy of the TransferData class");
            OSVERSIONINFOA version{};
            version.dwOSVersionInfoSize = sizeof version;
            GetVersionExA(&version);
            receiver.pipeMode = ReceivingPipeMode(version);
        }
        ServePipe(receiver);
        Trace("Thread Closed");
    } catch (...) {
        // Nothing may leave a thread entry; the endpoint simply stops.
    }
    if (started == nullptr)
        return 0;
    const HMODULE module = started->module;
    ReleaseReceiver(started);
    DropSemaphoreShare();
    // The module may go the moment its reference does: the system drops the
    // reference and ends the thread without returning into the module.
    FreeLibraryAndExitThread(module, 0);
}

// One client at a time, until a close request for this thread, a failure,
// or Close's flag.  A first instance that cannot be made ends the thread: the
// name is another endpoint's.
void TransferData::ServePipe(Receiver& receiver) {
    DWORD error = ERROR_SUCCESS;
    HANDLE pipe = CreateReceivingPipe(receiver, &error);
    InterlockedExchange(&receiver.firstPipe, pipe != INVALID_HANDLE_VALUE ? kPipeMade : kPipeRefused);
    for (;;) {
        if (pipe == INVALID_HANDLE_VALUE) {
            if (!Stopping(receiver))
                Trace(kFailedOnThread);
            return;
        }
        if (Stopping(receiver)) {
            CloseHandle(pipe);
            return;
        }
        const int r = ReceiveFromPipe(pipe, receiver.caller);
        if (r == 0) {
            Trace(kFailedOnThread);
            return;
        }
        if (r == kReceiveClosed || Stopping(receiver))
            return;
        pipe = NextPipe(receiver);
    }
}

// A new instance after each client.  Should another process take the name
// in between, the thread waits for it to be free again instead of ending.
HANDLE TransferData::NextPipe(Receiver& receiver) {
    for (;;) {
        DWORD error = ERROR_SUCCESS;
        HANDLE pipe = CreateReceivingPipe(receiver, &error);
        if (pipe != INVALID_HANDLE_VALUE || !NameTakenElsewhere(error) || Stopping(receiver))
            return pipe;
        Sleep(kNameRetryMs);
    }
}

// One instance of the receiving pipe; on failure the last-error text and the
// system's error in *error.
HANDLE TransferData::CreateReceivingPipe(const Receiver& receiver, DWORD* error) {
    if (!receiver.windowsNT) {
        *error = ERROR_NOT_SUPPORTED;
        SetLastErrorText(kNoPipesOn9x);
        return INVALID_HANDLE_VALUE;
    }
    // A null access list: every user's components may connect.  A descriptor
    // that cannot be built is no pipe at all, never one with the default
    // security or a half-built one.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = &descriptor;
    security.bInheritHandle = FALSE;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
        pipe = CreateNamedPipeA(PipeName(receiver.caller).c_str(), PIPE_ACCESS_INBOUND, receiver.pipeMode, 1, 0, 0, 0,
                                &security);
    if (pipe == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        char text[64];
        std::snprintf(text, sizeof text, "%s.  Error: %lu", kCouldNotCreatePipe, static_cast<unsigned long>(*error));
        Trace(text);
        SetLastErrorText(kCouldNotCreatePipe);
        return INVALID_HANDLE_VALUE;
    }
    Trace("Pipe Created, connecting ...");
    return pipe;
}

// Nothing of the product needs another machine to reach it.  Windows knows
// PIPE_REJECT_REMOTE_CLIENTS from NT 6.0 (Vista) on; earlier systems are not
// given a mode bit they never defined.
DWORD TransferData::ReceivingPipeMode(const OSVERSIONINFOA& version) {
    DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6)
        mode |= PIPE_REJECT_REMOTE_CLIENTS;
    return mode;
}

// Serves one client of the instance `pipe`, then closes it.
int TransferData::ReceiveFromPipe(HANDLE pipe, BYTE self) {
    // A client that came between creating the pipe and this call is connected.
    const bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
    if (!connected) {
        const DWORD error = GetLastError();
        ShowError(kCouldNotReceive, self);
        char text[80];
        std::snprintf(text, sizeof text, "--** Could not connect Named Pipe **--  Error: %d", static_cast<int>(error));
        SetLastErrorText(text);
        Trace(text);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        return 0;
    }
    Trace("Pipe connected to client, waiting for request on: " + PipeName(self));

    PipeReader reader(pipe);
    const int r = ReceiveRequest(reader);
    FlushFileBuffers(pipe);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return r;
}

bool TransferData::Stopping(Receiver& receiver) { return InterlockedCompareExchange(&receiver.stopping, 0, 0) != 0; }

void TransferData::ReleaseReceiver(Receiver* receiver) {
    if (InterlockedDecrement(&receiver->references) == 0)
        delete receiver;
}

// One attempt: a pipe that is busy or between instances needs no request,
// for the thread looks at its flag before its next client.  False when the
// request could not be written.
bool TransferData::SendCloseRequest(BYTE self, DWORD threadId) {
    HANDLE pipe =
        CreateFileA(PipeName(self).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return true;
    const BYTE request[kCloseRequestSize] = {kCloseByte, static_cast<BYTE>(threadId >> 24),
                                             static_cast<BYTE>(threadId >> 16), static_cast<BYTE>(threadId >> 8),
                                             static_cast<BYTE>(threadId)};
    DWORD written = 0;
    const bool sent = WriteFile(pipe, request, kCloseRequestSize, &written, nullptr) && written == kCloseRequestSize;
    CloseHandle(pipe);
    return sent;
}

// False when the thread neither took the close request nor ended; the
// caller shows that box once it has left the endpoint lock.
bool TransferData::Close() {
    if (m_hThread == nullptr)
        return true;
    if (!m_bWindowsNT) {
        if (m_hWnd != nullptr)
            DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        m_hThread = nullptr;
        Trace("Window Closed");
        return true;
    }

    Trace("Closing Pipe and Thread");
    Receiver* receiver = m_pReceiver;
    m_pReceiver = nullptr;
    InterlockedExchange(&receiver->stopping, 1);
    // A thread that has not made its first pipe yet finds the flag once it
    // has; one that could not make it is ending, and the pipe of that name
    // is another endpoint's, which must get nothing from us.
    bool sent = true;
    const bool madeItsPipe =
        InterlockedCompareExchange(&receiver->firstPipe, kPipePending, kPipePending) == kPipeMade;
    if (madeItsPipe && InterlockedCompareExchange(&receiver->running, 0, 0) != 0 &&
        WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT)
        sent = SendCloseRequest(receiver->caller, receiver->threadId);
    const bool ended = WaitForSingleObject(m_hThread, kCloseWaitMs) == WAIT_OBJECT_0;
    if (!ended)
        Trace("The receiving thread goes on until its pipe lets it look at its flag");
    if (!sent && !ended)
        SetLastErrorText(kCouldNotClose);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    ReleaseReceiver(receiver);
    return sent || ended;
}

void TransferData::ShowCloseError(BYTE self) { ShowError(kCouldNotClose, self); }
