// What the request protocol costs, each figure against a baseline measured in
// the same run:
//   - packing and unpacking a list of 1,000 paths, against memcpy of the same
//     bytes;
//   - requests delivered per second from this process to a receiving
//     component in another process (this program, started with --receive),
//     against a raw client that opens the same pipe, writes the same bytes
//     and closes, without the protocol's retries, trace and flush.
// Prints two lines; scripts/bench puts the platform in front of them.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "messaging/transfer_data.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "hostwin/machine.h"
extern char** environ;
#endif

class TransferDataProbe {
public:
    static DWORD Pack(const std::vector<std::string>& strings) {
        TransferData::PackStrings(strings);
        return TransferData::m_dwDataLength;
    }
    static const BYTE* Packet() { return TransferData::m_pSendBuffer; }
    static void Release() { TransferData::ReleaseSendBuffer(); }
};

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

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

void PackAndUnpack() {
    const auto paths = Paths(1000);
    const DWORD length = TransferDataProbe::Pack(paths);
    std::vector<BYTE> source(TransferDataProbe::Packet(), TransferDataProbe::Packet() + 7 + length);
    TransferDataProbe::Release();
    std::vector<BYTE> target(source.size());

    const int rounds = 2000;
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const DWORD n = TransferDataProbe::Pack(paths);
        const TransferPacket packet{NMShellExt, NMWatch, ZOVU_RUN_VUZ, n, const_cast<BYTE*>(TransferDataProbe::Packet()) + 7};
        std::vector<std::string> strings;
        TransferData::UnpackStrings(packet, &strings, false);
        g_sink = g_sink + strings.size();
        TransferDataProbe::Release();
    }
    const double protocol = SecondsSince(start) / rounds;

    const int copies = 20000;
    start = Clock::now();
    for (int i = 0; i < copies; ++i) {
        std::memcpy(target.data(), source.data(), source.size());
        g_sink = g_sink + target[static_cast<size_t>(i) % target.size()];
    }
    const double baseline = SecondsSince(start) / copies;
    std::printf("messaging pack+unpack, 1000 paths (%u bytes): %.1f us per list, memcpy baseline %.2f us, ratio %.0f\n",
                static_cast<unsigned>(source.size()), protocol * 1e6, baseline * 1e6, protocol / baseline);
}

// --- delivery between processes

bool StartReceiver(const char* self) {
#ifdef _WIN32
    std::string command = std::string("\"") + self + "\" --receive";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
#else
    char* argv[] = {const_cast<char*>(self), const_cast<char*>("--receive"), nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, self, nullptr, nullptr, argv, environ) == 0;
#endif
}

int Receive() {
    TransferData endpoint;
    endpoint.Initialize(NMWatch, GetModuleHandleA(nullptr));
    for (;;) {
        TransferPacket packet{};
        if (!endpoint.GetPacket(&packet, 60))
            return 1;
        const bool stop = packet.operation == ZOVU_STOP_WATCH;
        TransferData::FreePacketData(&packet);
        if (stop)
            return 0;
    }
}

bool RawSend(const std::vector<BYTE>& packet) {
    const std::string name = "\\\\.\\pipe\\" + TransferData::RouterName(NMWatch);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    // Between two connections the receiver has no instance: try again at
    // once, giving the processor away so that the receiver can make one.
    for (int attempt = 0; attempt < 1000000 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (pipe == INVALID_HANDLE_VALUE)
            Sleep(0);
    }
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(pipe, packet.data(), static_cast<DWORD>(packet.size()), &written, nullptr);
    CloseHandle(pipe);
    return ok != FALSE;
}

int Deliver(const char* self) {
    if (!StartReceiver(self)) {
        std::printf("messaging delivery: cannot start the receiver\n");
        return 1;
    }
    const std::vector<std::string> request = {"CONFIRM", "C:\\docs\\report.txt", "C:\\docs\\budget.xls"};
    TransferData sender;
    sender.Initialize(NMShellExt, GetModuleHandleA(nullptr));
    bool ready = false;
    for (int i = 0; i < 5 && !ready; ++i)  // the receiver may still be starting
        ready = sender.SendPacket(NMWatch, ZOVU_RUN_VUZ, request);
    if (!ready) {
        std::printf("messaging delivery: no receiver\n");
        return 1;
    }

    const int requests = 20;
    auto start = Clock::now();
    int delivered = 0;
    for (int i = 0; i < requests; ++i)
        delivered += sender.SendPacket(NMWatch, ZOVU_RUN_VUZ, request) ? 1 : 0;
    const double protocolRate = delivered / SecondsSince(start);

    const DWORD length = TransferDataProbe::Pack(request);  // the same bytes, built once
    const std::vector<BYTE> raw(TransferDataProbe::Packet(), TransferDataProbe::Packet() + 7 + length);
    TransferDataProbe::Release();
    const int rawRequests = 500;
    start = Clock::now();
    int rawDelivered = 0;
    for (int i = 0; i < rawRequests; ++i)
        rawDelivered += RawSend(raw) ? 1 : 0;
    const double rawRate = rawDelivered / SecondsSince(start);

    for (int i = 0; i < 3 && !sender.SendPacket(NMWatch, ZOVU_STOP_WATCH, 0, nullptr); ++i) {
    }
    std::printf("messaging delivery between processes: %.1f requests/s, raw baseline %.0f requests/s, ratio %.4f\n",
                protocolRate, rawRate, protocolRate / rawRate);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--receive") == 0)
        return Receive();
#ifndef _WIN32
    // Both processes on one simulated machine.
    char folder[] = "/tmp/nm-messaging-bench-XXXXXX";
    if (mkdtemp(folder) != nullptr)
        hostwin::Machine::Attach(folder);
#endif
    PackAndUnpack();
    std::fflush(stdout);
    return Deliver(argv[0]);
}
