// Two folder windows of the shell, each running a command on a thread of its
// own, as the shell runs them.  Whatever holds up the first window's send
// (its "Error" box unanswered, its destination connected and never reading),
// the second window's command arrives at once.  Win32 calls only: judged on
// hostwin and under Wine.
#include <gtest/gtest.h>

#include <thread>

#include "messaging/messaging_support.h"
#include "support/start_line.h"
#include "support/unanswered_box.h"

namespace {

constexpr DWORD kPromptlyMs = 3000;
constexpr DWORD kBoxShownMs = 20000;  // 9 retries of 500 ms under Wine
const std::vector<std::string> kFirstList = {"CONFIRM", "C:\\a.txt"};
const std::vector<std::string> kSecondList = {"NORMAL", "QUICK", "CANCEL", "C:\\Documents and Settings"};

constexpr char kNotResponding[] =
    "A Nullmark application does not appear to be responding.\nYou should reboot or try reinstalling Nullmark.";

// One window's command: its own endpoint object, one send, on its own thread.
class WindowCommand {
public:
    WindowCommand(BYTE destination, const std::vector<std::string>& list)
        : thread_([this, destination, list] {
              TransferData command;
              command.Initialize(NMShellExt, GetModuleHandleA(nullptr));
              sent_ = command.SendPacket(destination, ZOVU_RUN_VUZ, list);
          }) {}
    ~WindowCommand() { Join(); }
    WindowCommand(const WindowCommand&) = delete;
    WindowCommand& operator=(const WindowCommand&) = delete;

    bool Join() {
        if (thread_.joinable())
            thread_.join();
        return sent_;
    }

private:
    bool sent_ = false;
    std::thread thread_;
};

// A destination that takes the connection and then reads nothing until told:
// a component that hangs.  Buffers of 0 bytes, so that a sender's write waits
// for the reader.
class HungReceiver {
public:
    explicit HungReceiver(BYTE id) {
        pipe_ = CreateNamedPipeA(nmtest::PipeName(id).c_str(), PIPE_ACCESS_INBOUND,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr);
        thread_ = std::thread([this] {
            const bool connected = ConnectNamedPipe(pipe_, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
            {
                std::unique_lock<std::mutex> guard(lock_);
                connected_ = connected;
                changed_.notify_all();
                changed_.wait(guard, [this] { return reading_; });
            }
            BYTE buffer[4096];
            DWORD read = 0;
            while (connected && ReadFile(pipe_, buffer, sizeof buffer, &read, nullptr) && read > 0)
                bytes_.insert(bytes_.end(), buffer, buffer + read);
        });
    }
    ~HungReceiver() { Release(); }

    bool WaitConnected(DWORD milliseconds) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return connected_; });
    }
    // Reads at last; everything the client wrote once it closed its end.
    std::vector<BYTE> Release() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            reading_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) {
            if (!connected_) {
                // Be the client that never came, so that the thread can end.
                HANDLE self = CreateFileA(nmtest::PipeName(NMWatch).c_str(), GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
                if (self != INVALID_HANDLE_VALUE)
                    CloseHandle(self);
            }
            thread_.join();
            DisconnectNamedPipe(pipe_);
            CloseHandle(pipe_);
        }
        return bytes_;
    }

private:
    HANDLE pipe_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool connected_ = false;
    bool reading_ = false;
    std::vector<BYTE> bytes_;
};

// The bytes a command of the shell extension carries: the header, each
// text with its zero, and the closing zero.
std::vector<BYTE> Packet(BYTE destination, const std::vector<std::string>& list, BYTE caller = NMShellExt) {
    std::string data;
    for (const auto& s : list)
        data += s + '\0';
    data += '\0';
    const auto n = static_cast<DWORD>(data.size());
    std::string packet = {char(caller), char(destination), char(ZOVU_RUN_VUZ), char(n >> 24), char(n >> 16),
                          char(n >> 8), char(n)};
    return nmtest::Bytes(packet + data);
}

// The second window's command, sent while the first window is held up: it
// must reach its own destination within kPromptlyMs, whole.  The first
// window's trouble ends before any thread is joined (no ASSERT returns early),
// so that a send that does wait on it fails the test instead of hanging it.
TEST(WindowThreads, ASecondWindowsCommandArrivesWhileTheFirstWindowsBoxIsOpen) {
    nmtest::UnansweredBox box;
    WindowCommand first(NMVuz, kFirstList);  // nobody listens: retries, then the box
    EXPECT_TRUE(box.WaitShown(kNotResponding, kBoxShownMs)) << "no box: " << kNotResponding;
    nmtest::RawPipeServer tray(NMTray);
    WindowCommand second(NMTray, kSecondList);
    EXPECT_EQ(tray.Join(kPromptlyMs), Packet(NMTray, kSecondList)) << "the second window's command waited";
    box.Answer();
    EXPECT_FALSE(first.Join());
}

TEST(WindowThreads, ASecondWindowsCommandArrivesWhileTheFirstWindowsComponentHangs) {
    HungReceiver hung(NMWatch);
    WindowCommand first(NMWatch, kFirstList);
    EXPECT_TRUE(hung.WaitConnected(10000));
    nmtest::RawPipeServer tray(NMTray);
    WindowCommand second(NMTray, kSecondList);
    EXPECT_EQ(tray.Join(kPromptlyMs), Packet(NMTray, kSecondList)) << "the second window's command waited";
    EXPECT_EQ(hung.Release(), Packet(NMWatch, kFirstList)) << "the first window's command, once read";
    EXPECT_TRUE(first.Join());
}

// One thread sends while another gives the same endpoint its identity, as
// two windows do when the second's command starts as the first one's is
// sent: the packet arrives whole, from the old identity or the new.  Each
// round starts both threads at one start line; the sanitizer build
// sees any read of the identity or the transport that the endpoint's lock
// does not order against Initialize's writes.
TEST(WindowThreads, ASendBesideAnInitializeOfTheSameEndpointCarriesOneIdentity) {
    nmtest::TraceRecorder traces;
    const BYTE identities[] = {NMTray, NMAgent};
    {
        TransferData first;  // the pipe transport chosen before any round
        nmtest::InitializeAndWait(first, identities[1], traces);
    }
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const BYTE before = identities[(round + 1) % 2], after = identities[round % 2];
        nmtest::RawPipeServer watch(NMWatch);
        const int pipes = traces.Count("Pipe Created");
        bool sent = false;
        {
            TransferData endpoint;
            nmtest::StartLine start(2);
            std::thread sending([&] {
                start.ArriveAndWait();
                sent = endpoint.SendPacket(NMWatch, ZOVU_RUN_VUZ, kFirstList);
            });
            start.ArriveAndWait();
            endpoint.Initialize(after, GetModuleHandleA(nullptr));
            sending.join();
            // Close reaches the receiving thread only once it has its pipe.
            EXPECT_TRUE(traces.WaitFor("Pipe Created", pipes + 1));
        }
        EXPECT_TRUE(sent);
        const std::vector<BYTE> got = watch.Join(kPromptlyMs);
        EXPECT_TRUE(got == Packet(NMWatch, kFirstList, before) || got == Packet(NMWatch, kFirstList, after))
            << "caller byte " << (got.empty() ? -1 : int(got[0])) << ", " << got.size() << " bytes";
    }
}

}  // namespace
