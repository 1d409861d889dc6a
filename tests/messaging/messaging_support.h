// Test helpers for the messaging layer, Win32 calls only: a recorder of trace
// lines, a raw pipe server that stands for a destination, and a raw pipe
// client that stands for a sender.  A process is one endpoint, so a test that
// needs both ends plays the other end with these.
#pragma once

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messaging/transfer_data.h"

namespace nmtest {

inline std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

inline std::string PipeName(BYTE id) { return "\\\\.\\pipe\\" + TransferData::RouterName(id); }

// Collects TransferData's trace lines while it lives.
class TraceRecorder {
public:
    TraceRecorder() {
        TransferData::SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(line);
        });
    }
    ~TraceRecorder() { TransferData::SetTraceSink(nullptr); }
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.clear();
    }
    int Count(const std::string& prefix) {
        const auto lines = Lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    // The last line that starts with `prefix`, or "".
    std::string Last(const std::string& prefix) {
        const auto lines = Lines();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->rfind(prefix, 0) == 0)
                return *it;
        return "";
    }
    // Real time, not Sleep: the host tests run Sleep on virtual time.
    bool WaitFor(const std::string& prefix, int count = 1, int milliseconds = 10000) {
        for (int waited = 0; waited < milliseconds; waited += 5) {
            if (Count(prefix) >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

// Initializes `endpoint` and, on the NT family, waits until its receiving
// thread has its pipe: a Close before that finds no pipe and cannot stop it.
inline void InitializeAndWait(TransferData& endpoint, CallerId self, TraceRecorder& traces, bool nt = true) {
    const int before = traces.Count("Pipe Created");
    endpoint.Initialize(self, GetModuleHandleA(nullptr));
    if (nt)
        traces.WaitFor("Pipe Created", before + 1);
}

// A destination's pipe: takes one connection and keeps what the client wrote.
class RawPipeServer {
public:
    explicit RawPipeServer(BYTE id) {
        pipe_ = CreateNamedPipeA(PipeName(id).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                 1, 0, 0, 0, nullptr);
        thread_ = std::thread([this] {
            if (pipe_ == INVALID_HANDLE_VALUE)
                return;
            if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
                return;
            BYTE buffer[4096];
            DWORD read = 0;
            while (ReadFile(pipe_, buffer, sizeof buffer, &read, nullptr) && read > 0)
                bytes_.insert(bytes_.end(), buffer, buffer + read);
        });
    }
    ~RawPipeServer() { Join(); }
    RawPipeServer(const RawPipeServer&) = delete;
    RawPipeServer& operator=(const RawPipeServer&) = delete;

    bool created() const { return pipe_ != INVALID_HANDLE_VALUE; }
    // Everything the client wrote, once it has closed its end.
    std::vector<BYTE> Join() {
        if (thread_.joinable())
            thread_.join();
        if (pipe_ != INVALID_HANDLE_VALUE) {
            DisconnectNamedPipe(pipe_);
            CloseHandle(pipe_);
            pipe_ = INVALID_HANDLE_VALUE;
        }
        return bytes_;
    }

private:
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
    std::vector<BYTE> bytes_;
};

// A sender without the protocol: opens the pipe of `id` (waiting while the
// receiving thread has no instance), writes `bytes` in one call and closes.
inline bool WriteToPipe(BYTE id, const std::vector<BYTE>& bytes) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 2000 && pipe == INVALID_HANDLE_VALUE; ++i) {
        pipe = CreateFileA(PipeName(id).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return ok && written == bytes.size();
}

// The 25-byte example: CONFIRM and C:\a.txt from the shell extension to the VUZ program.
inline std::vector<BYTE> ExamplePacket() {
    std::vector<BYTE> packet = {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12};
    for (const char c : std::string("CONFIRM\0C:\\a.txt\0\0", 18))
        packet.push_back(static_cast<BYTE>(c));
    return packet;
}

}  // namespace nmtest
