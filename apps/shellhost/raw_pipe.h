// A component's pipe without the protocol, for tests and benchmarks: a
// receiving end that takes one connection, and a sending end that writes one
// block.  Win32 calls only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messaging/transfer_data.h"

inline std::string PipeName(BYTE id) { return "\\\\.\\pipe\\" + TransferData::RouterName(id); }

// A destination's pipe: takes one connection and keeps what the client wrote.
// Join gives up after its time limit and says so: a client that never comes
// fails the test in seconds instead of holding it until ctest's time-out.
class RawPipeServer {
public:
    explicit RawPipeServer(BYTE id) : name_(PipeName(id)) {
        pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0,
                                 0, 0, nullptr);
        thread_ = std::thread([this] {
            Mark(&started_);
            Serve();
            Mark(&done_);
        });
        // Running before the constructor returns: a test may hold new threads
        // back (the loader lock on Windows) while a sender writes to this one.
        std::unique_lock<std::mutex> guard(lock_);
        finished_.wait_for(guard, std::chrono::seconds(10), [this] { return started_; });
    }
    ~RawPipeServer() { Join(); }
    RawPipeServer(const RawPipeServer&) = delete;
    RawPipeServer& operator=(const RawPipeServer&) = delete;

    bool created() const { return pipe_ != INVALID_HANDLE_VALUE; }
    // False when no client came and went within the time limit.
    bool served() const { return served_; }

    // For a sender that has returned already: what it delivered, empty when
    // nothing came.  A connection of our own ends a wait that no sender ended
    // (it finds the instance busy when the sender did come).
    std::vector<BYTE> Finish() {
        HANDLE self = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (self != INVALID_HANDLE_VALUE)
            CloseHandle(self);
        return Join();
    }

    // Everything the client wrote, once it has closed its end.
    std::vector<BYTE> Join(int milliseconds = 10000) {
        if (thread_.joinable()) {
            std::unique_lock<std::mutex> guard(lock_);
            served_ = finished_.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return done_; });
            guard.unlock();
            if (!served_) {
                // Be the client that never came, so that the thread can end.
                HANDLE self = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                if (self != INVALID_HANDLE_VALUE)
                    CloseHandle(self);
            }
            thread_.join();
        }
        if (pipe_ != INVALID_HANDLE_VALUE) {
            DisconnectNamedPipe(pipe_);
            CloseHandle(pipe_);
            pipe_ = INVALID_HANDLE_VALUE;
        }
        return served_ ? bytes_ : std::vector<BYTE>{};
    }

private:
    void Serve() {
        if (pipe_ == INVALID_HANDLE_VALUE)
            return;
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        BYTE buffer[4096];
        DWORD read = 0;
        while (ReadFile(pipe_, buffer, sizeof buffer, &read, nullptr) && read > 0)
            bytes_.insert(bytes_.end(), buffer, buffer + read);
    }
    void Mark(bool* flag) {
        std::lock_guard<std::mutex> guard(lock_);
        *flag = true;
        finished_.notify_all();
    }

    std::string name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable finished_;
    bool started_ = false;
    bool done_ = false;
    bool served_ = false;
    std::vector<BYTE> bytes_;
};

// A sender without the protocol: opens the pipe of `id`, writes `bytes` in
// one call and closes.  Nothing announces that a receiving thread has made
// its instance, so the open itself is retried, for 10 s at most.
inline bool WriteToPipe(BYTE id, const std::vector<BYTE>& bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (;;) {
        pipe = CreateFileA(PipeName(id).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (pipe != INVALID_HANDLE_VALUE || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return ok && written == bytes.size();
}

