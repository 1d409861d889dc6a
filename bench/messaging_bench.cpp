// What the request protocol's code costs beyond the waits the protocol
// itself prescribes, each figure against a baseline measured in the same run
// (each a cost: measured time over baseline time, so 1 is as fast as the
// baseline):
//   - one request to a receiver that waits on its pipe, sender side
//     (Initialize + SendPacket, until the flush returns), against the
//     platform calls the protocol makes it do: starting a thread that creates
//     the endpoint's pipe (with the same open security) and waits on it, and
//     a raw open, write, flush and close of the same bytes to the same kind
//     of receiver;
//   - one whole command (InvokeCommand of Deep Clean, the watcher waiting),
//     reported as its time minus the waits the protocol mandates, with the
//     mandated part beside it, against the mandated calls of one request up
//     to the receiving thread's end;
//   - PackStrings + UnpackStrings of 1,000 paths, against a plain split of
//     the same bytes into a vector of strings.
// Each figure is the median of paired ratios (figure.h); scripts/bench turns
// the records into lines.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "figure.h"
#include "messaging/transfer_data.h"
#include "shellhost/linked_extension.h"
#include "shellhost/raw_pipe.h"


class TransferDataProbe {
public:
    static DWORD Pack(const std::vector<std::string>& strings) {
        packet_ = TransferData::Outgoing{};
        TransferData::PackStrings(&packet_, strings);
        return packet_.dataLength;
    }
    static const BYTE* Packet() { return packet_.buffer.get(); }
    static void Release() { packet_.buffer.reset(); }

private:
    static inline TransferData::Outgoing packet_;
};

namespace {

using nmbench::Clock;
using nmbench::MicrosecondsSince;

// Close waits for its receiving thread to end rather than a fixed 500 ms:
// with the receiver waiting, no wait of the command is prescribed.
constexpr DWORD kMandatedWaitMs = 0;

// The goals.  A request's sender should add little to the calls the protocol
// makes it do.  Packing and unpacking are two passes over the paths where a
// split is one.  A whole command is a whole endpoint's life around one
// request (its receiving thread and pipe made and stopped, the drives of the
// selection looked up), held against the same life made of the mandated
// calls alone: both halves start and end a thread, so the scheduler's moods
// move both alike.  A ceiling that catches a command grown slower, not a
// bound worked out from the calls.
constexpr double kRequestGoal = 1.1;
constexpr double kPackGoal = 2.0;
constexpr double kCommandGoal = 2.0;

std::vector<std::string> Paths(int count) {
    std::vector<std::string> paths;
    char path[MAX_PATH];
    for (int i = 0; i < count; ++i) {
        std::snprintf(path, sizeof path, "C:\\Documents and Settings\\owner\\My Documents\\Project %02d\\report %04d.doc",
                      i % 40, i);
        paths.push_back(path);
    }
    return paths;
}

volatile size_t g_sink;  // keeps the compiler from dropping the measured work

// --- one request, sender side

const std::vector<std::string> kRequest = {"CONFIRM", "C:\\docs\\report.txt", "C:\\docs\\budget.xls"};

bool Delivered(RawPipeServer& receiver, size_t bytes) { return receiver.Join(30000).size() == bytes; }

// The protocol's sender: a new endpoint (its receiving thread included), one
// SendPacket.  The endpoint's own thread is then stopped by a close byte of
// ours, outside the timing, so that Close finds nothing to strand.
double ProtocolRequestUs(size_t packetSize, bool* ok) {
    RawPipeServer watcher(NMWatch);
    double us = 0;
    {
        const auto start = Clock::now();
        TransferData sender;
        sender.Initialize(NMShellExt, GetModuleHandleA(nullptr));
        const bool sent = sender.SendPacket(NMWatch, ZOVU_RUN_VUZ, kRequest);
        us = MicrosecondsSince(start);
        // An endpoint whose pipe name an earlier one's thread still held has
        // no thread of its own to stop.
        *ok = sent && Delivered(watcher, packetSize) &&
              (!TransferData::IsReceiving() || WriteToPipe(NMShellExt, {TransferData::kCloseByte}));
    }
    return us;
}

// A sender's part without the protocol: open, write, flush, close.
bool SendRaw(const std::vector<BYTE>& packet) {
    HANDLE pipe = CreateFileA(PipeName(NMWatch).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool sent = WriteFile(pipe, packet.data(), static_cast<DWORD>(packet.size()), &written, nullptr);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return sent;
}

// The mandated calls alone: a receiving thread that creates its pipe as the
// endpoint's does and waits for a client.  It is stopped as the endpoint's
// own is, without polling: a flag, and one client open once the pipe is
// there.  The flag is raised before the pipe is looked at, and the pipe is
// made before the flag is looked at, so one side always sees the other.
constexpr char kBaselinePipe[] = "\\\\.\\pipe\\nm-bench-mandated";
constexpr DWORD kPatienceMs = 30000;  // a loaded machine may hold a thread back for seconds

struct MandatedReceiver {
    std::atomic<int> pipe{0};  // 1 made, -1 refused
    std::atomic<bool> stopping{false};

    static DWORD WINAPI Run(LPVOID param) {
        auto* self = static_cast<MandatedReceiver*>(param);
        SECURITY_DESCRIPTOR descriptor;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES security{};
        security.nLength = sizeof security;
        security.lpSecurityDescriptor = &descriptor;
        HANDLE pipe = CreateNamedPipeA(kBaselinePipe, PIPE_ACCESS_INBOUND,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 0, 0, &security);
        self->pipe = pipe == INVALID_HANDLE_VALUE ? -1 : 1;
        if (pipe == INVALID_HANDLE_VALUE)
            return 1;
        if (!self->stopping)
            ConnectNamedPipe(pipe, nullptr);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        return 0;
    }

    bool Stop(HANDLE thread) {
        stopping = true;
        // An open that fails found the pipe closed: the thread saw the flag.
        if (pipe == 1 && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
            HANDLE client = CreateFileA(kBaselinePipe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (client != INVALID_HANDLE_VALUE)
                CloseHandle(client);
        }
        DWORD code = 1;
        const bool ended = WaitForSingleObject(thread, kPatienceMs) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        return ended && code == 0;
    }
};

// The mandated calls' time; with Until::kEnded up to the receiving
// thread's end, as a whole command's Close waits for its receiving thread.
enum class Until { kSent, kEnded };
double MandatedCallsUs(const std::vector<BYTE>& packet, Until until, bool* ok) {
    RawPipeServer watcher(NMWatch);
    MandatedReceiver receiver;
    const auto start = Clock::now();
    HANDLE thread = CreateThread(nullptr, 0, MandatedReceiver::Run, &receiver, 0, nullptr);
    const bool sent = SendRaw(packet);
    double us = MicrosecondsSince(start);
    const bool ended = thread != nullptr && receiver.Stop(thread);
    if (until == Until::kEnded)
        us = MicrosecondsSince(start);
    *ok = sent && ended && Delivered(watcher, packet.size());
    return us;
}

// --- one whole command

// The receiver waits, so no open is retried; a command whose last-error text
// changed (a retry) is run again, for its time would hold a retry's wait.
// Its own time: the whole command less the waits the protocol mandates.
double DeepCleanUs(LinkedExtension& ext) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        RawPipeServer watcher(NMWatch);
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(1);
        const std::string before = TransferData::GetLastErrorText();
        const auto start = Clock::now();
        const HRESULT hr = ext.menu()->InvokeCommand(&info);
        const double us = MicrosecondsSince(start);
        const bool retried = TransferData::GetLastErrorText() != before;
        // "NORMAL", "SECURE", "CANCEL", "CD": 7 + 25 bytes.
        if (hr != S_OK || !Delivered(watcher, 32))
            return -1;
        if (!retried)
            return us - kMandatedWaitMs * 1000.0;
    }
    return -1;
}

// --- packing

bool PackAndUnpack() {
    const auto paths = Paths(1000);
    const DWORD length = TransferDataProbe::Pack(paths);
    const std::vector<BYTE> packet(TransferDataProbe::Packet(), TransferDataProbe::Packet() + 7 + length);
    TransferDataProbe::Release();
    const char* data = reinterpret_cast<const char*>(packet.data() + 7);

    // Each run must give back every path, or the step failed.
    const auto protocol = [&](int runs) {
        size_t unpacked = 0;
        const auto start = Clock::now();
        for (int i = 0; i < runs; ++i) {
            const DWORD n = TransferDataProbe::Pack(paths);
            const TransferPacket received{NMShellExt, NMWatch, ZOVU_RUN_VUZ, n,
                                          const_cast<BYTE*>(TransferDataProbe::Packet()) + 7};
            std::vector<std::string> strings;
            TransferData::UnpackStrings(received, &strings, false);
            unpacked += strings.size();
            TransferDataProbe::Release();
        }
        const double us = MicrosecondsSince(start) / runs;
        g_sink = g_sink + unpacked;
        return unpacked == paths.size() * static_cast<size_t>(runs) ? us : -1.0;
    };
    const auto split = [&](int runs) {
        size_t found = 0;
        const auto start = Clock::now();
        for (int i = 0; i < runs; ++i) {
            std::vector<std::string> strings;
            for (DWORD at = 0; at < length && data[at] != 0;) {
                const size_t n = strnlen(data + at, length - at);
                strings.emplace_back(data + at, n);
                at += static_cast<DWORD>(n) + 1;
            }
            found += strings.size();
        }
        const double us = MicrosecondsSince(start) / runs;
        g_sink = g_sink + found;
        return found == paths.size() * static_cast<size_t>(runs) ? us : -1.0;
    };
    const int runs = nmbench::RunsPerSample([&] { return split(1); }, 300);
    char subject[80];
    std::snprintf(subject, sizeof subject, "messaging pack+unpack, 1000 paths (%zu bytes)", packet.size());
    return nmbench::MeasurePairs({subject, nmbench::Ratio::Cost, "us", "a plain split", kPackGoal, "per list"}, 601,
                                 20, [&] { return protocol(runs); }, [&] { return split(runs); });
}

// Each step fails as a whole when its request did not arrive.
double OrFailed(bool ok, double us) { return ok ? us : -1; }

}  // namespace

int main() {
    bool ok = PackAndUnpack();

    const DWORD length = TransferDataProbe::Pack(kRequest);  // the same bytes as the protocol sends
    const std::vector<BYTE> packet(TransferDataProbe::Packet(), TransferDataProbe::Packet() + 7 + length);
    TransferDataProbe::Release();
    ok = nmbench::MeasurePairs(
             {"messaging request, sender side", nmbench::Ratio::Cost, "us", "the mandated calls", kRequestGoal,
              "Initialize + SendPacket against a thread and its pipe, open+write+flush+close"},
             601, 10,
             [&] {
                 bool sent = false;
                 const double us = ProtocolRequestUs(packet.size(), &sent);
                 return OrFailed(sent, us);
             },
             [&] {
                 bool sent = false;
                 const double us = MandatedCallsUs(packet, Until::kSent, &sent);
                 return OrFailed(sent, us);
             }) &&
         ok;

    LinkedExtension ext;
    if (ext.menu() == nullptr || ext.Initialize({"C:\\", "D:\\"}) != S_OK) {
        std::printf("messaging command: no extension\n");
        return 1;
    }
    char note[80];
    std::snprintf(note, sizeof note, "own work beside %u ms of mandated waits", static_cast<unsigned>(kMandatedWaitMs));
    ok = nmbench::MeasurePairs({"messaging command Deep Clean", nmbench::Ratio::Cost, "us",
                                "the mandated calls to the thread's end", kCommandGoal, note},
                               401, 10, [&] { return DeepCleanUs(ext); },
                               [&] {
                                   bool sent = false;
                                   const double us = MandatedCallsUs(packet, Until::kEnded, &sent);
                                   return OrFailed(sent, us);
                               }) &&
         ok;
    if (!ok)
        std::printf("messaging: last error text: %s\n", TransferData::GetLastErrorText().c_str());
    return ok ? 0 : 1;
}
