// Test helpers for the messaging layer, Win32 calls only: a recorder of trace
// lines, and the raw pipe peers (shellhost/raw_pipe.h) that stand for a
// destination or a sender.  A process is one endpoint, so a test that needs
// both ends plays the other end with these.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "messaging/transfer_data.h"
#include "shellhost/raw_pipe.h"

namespace nmtest {

inline std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

using ::PipeName;
using ::RawPipeServer;
using ::WriteToPipe;

// Collects TransferData's trace lines while it lives.
class TraceRecorder {
public:
    TraceRecorder() {
        TransferData::SetTraceSink([this](const std::string& line) {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(line);
            added_.notify_all();
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
        std::lock_guard<std::mutex> guard(lock_);
        return CountLocked(prefix);
    }
    // The last line that starts with `prefix`, or "".
    std::string Last(const std::string& prefix) {
        const auto lines = Lines();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->rfind(prefix, 0) == 0)
                return *it;
        return "";
    }
    // Waits on the lines themselves, in real time: the host tests may run
    // Sleep on virtual time.
    bool WaitFor(const std::string& prefix, int count = 1, int milliseconds = 10000) {
        std::unique_lock<std::mutex> guard(lock_);
        return added_.wait_for(guard, std::chrono::milliseconds(milliseconds),
                               [&] { return CountLocked(prefix) >= count; });
    }

private:
    int CountLocked(const std::string& prefix) const {
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(),
                                              [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }

    std::mutex lock_;
    std::condition_variable added_;
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

// The 25-byte example: CONFIRM and C:\a.txt from the shell extension to the VUZ program.
inline std::vector<BYTE> ExamplePacket() {
    std::vector<BYTE> packet = {0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12};
    for (const char c : std::string("CONFIRM\0C:\\a.txt\0\0", 18))
        packet.push_back(static_cast<BYTE>(c));
    return packet;
}

}  // namespace nmtest
