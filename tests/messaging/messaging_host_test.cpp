// Retries, time-outs, boxes and the Windows 9x window transport, on machines
// only hostwin can set up (virtual Sleep, Windows 98, planned failures).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "hostwin/machine.h"
#include "messaging/messaging_support.h"
#include "shellhost/linked_extension.h"
#include "support/platforms.h"

namespace {

using hostwin::Machine;

constexpr char kNotResponding[] =
    "A Nullmark application does not appear to be responding.\nYou should reboot or try reinstalling Nullmark.";

class MessagingHostTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::UseVirtualSleep(true);
    }
    void TearDown() override {
        const bool threadRunning = nt_ && traces_.Count("Thread Closed") == 0;
        endpoint_.reset();
        if (threadRunning) {
            EXPECT_TRUE(traces_.WaitFor("Thread Closed"));
        }
        Machine::Reset();
    }
    TransferData& Open(CallerId self, bool nt = true) {
        nt_ = nt;
        if (!nt)
            Machine::SetWindows9x();
        endpoint_ = std::make_unique<TransferData>();
        nmtest::InitializeAndWait(*endpoint_, self, traces_, nt);
        return *endpoint_;
    }

    bool nt_ = true;
    nmtest::TraceRecorder traces_;
    std::unique_ptr<TransferData> endpoint_;
};

TEST_F(MessagingHostTest, PipeTimeOutWithoutReceiver) {
    struct Case { CallerId self; size_t boxes; };
    for (const Case c : {Case{NMShellExt, 1}, Case{NMService, 0}}) {
        SCOPED_TRACE(int(c.self));
        Machine::Reset();
        Machine::UseVirtualSleep(true);
        traces_.Clear();
        TransferData& sender = Open(c.self);
        const LONGLONG before = Machine::VirtualSleptMs();
        EXPECT_FALSE(sender.SendPacket(NMVuz, ZOVU_DEFAULT_MESSAGE, {"CONFIRM"}));
        EXPECT_EQ(Machine::VirtualSleptMs() - before, 4500);
        const std::string text = "--** Timeout **--  Could not communicate with NMVuz.  No pipe to write to.";
        EXPECT_EQ(TransferData::GetLastErrorText(), text);
        EXPECT_EQ(traces_.Count(text), 1);
        const auto boxes = Machine::MessageBoxes();
        ASSERT_EQ(boxes.size(), c.boxes);
        if (!boxes.empty()) {
            EXPECT_EQ(boxes[0].text, kNotResponding);
            EXPECT_EQ(boxes[0].caption, "Error");
            EXPECT_EQ(boxes[0].type, UINT(MB_ICONHAND));
            EXPECT_EQ(boxes[0].owner, nullptr);
        }
        endpoint_.reset();
        ASSERT_TRUE(traces_.WaitFor("Thread Closed"));
    }
}

TEST_F(MessagingHostTest, BusyPipeSucceedsLaterAndKeepsTheRetryText) {
    struct Case { int failures; const char* stored; };
    const Case kCases[] = {{2, "Pipe open attempt failed.\n8 tries left."}, {9, "Pipe open attempt failed.\n1 tries left."}};
    TransferData& sender = Open(NMShellExt);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.failures);
        nmtest::RawPipeServer destination(NMWatch);
        const LONGLONG before = Machine::VirtualSleptMs();
        Machine::FailNext("CreateFileA", ERROR_PIPE_BUSY, c.failures);
        EXPECT_TRUE(sender.SendPacket(NMWatch, ZOVU_RUN_VUZ, {"CONFIRM", "C:\\a.txt"}));
        EXPECT_EQ(destination.Join().size(), 25u);
        EXPECT_EQ(Machine::VirtualSleptMs() - before, 500 * c.failures);
        EXPECT_EQ(TransferData::GetLastErrorText(), c.stored);
        EXPECT_TRUE(Machine::MessageBoxes().empty());
    }
}

TEST_F(MessagingHostTest, GetPacketCountsItsSeconds) {
    TransferData& endpoint = Open(NMTray);
    TransferPacket packet{};
    const LONGLONG before = Machine::VirtualSleptMs();
    EXPECT_FALSE(endpoint.GetPacket(&packet, 3));
    EXPECT_EQ(Machine::VirtualSleptMs() - before, 3000);
    EXPECT_EQ(TransferData::GetLastErrorText(), "Timeout on GetPacket");
}

TEST_F(MessagingHostTest, Windows9xSenderWithoutDestination) {
    struct Case { CallerId self; const char* ownWindow; size_t boxes; };
    const Case kCases[] = {{NMShellExt, nullptr, 0}, {NMWatch, "Router6", 1}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(int(c.self));
        Machine::ClearMessageBoxes();
        traces_.Clear();
        TransferData& sender = Open(c.self, false);
        const HWND own = FindWindowA("Messenger", TransferData::RouterName(c.self).c_str());
        EXPECT_EQ(own != nullptr, c.ownWindow != nullptr);

        const LONGLONG before = Machine::VirtualSleptMs();
        EXPECT_FALSE(sender.SendPacket(NMVuz, ZOVU_DEFAULT_MESSAGE, {"CONFIRM"}));
        EXPECT_EQ(Machine::VirtualSleptMs() - before, 9000);
        EXPECT_EQ(TransferData::GetLastErrorText(), "Router0 Window does not exist.\nIt must not currently be running.");
        EXPECT_EQ(traces_.Count("Could not find destination window.\n"), 9);
        EXPECT_EQ(traces_.Count("Could not find destination window.\n1 tries left."), 1);
        EXPECT_EQ(Machine::MessageBoxes().size(), c.boxes);

        endpoint_.reset();
        EXPECT_EQ(traces_.Count("Window Closed"), 1);
        EXPECT_EQ(FindWindowA(nullptr, TransferData::RouterName(c.self).c_str()), nullptr);
    }
}

TEST_F(MessagingHostTest, Windows9xWindowTakesItsOwnPacket) {
    TransferData& endpoint = Open(NMWatch, false);
    {
        TransferData second;  // one endpoint: its destruction closes nothing
        second.Initialize(NMTray, nullptr);
    }
    EXPECT_TRUE(endpoint.SendPacket(NMWatch, ZOVU_RUN_VUZ, {"CONFIRM", "C:\\a.txt"}));
    TransferPacket packet{};
    ASSERT_TRUE(endpoint.GetPacket(&packet, 1));
    EXPECT_EQ(packet.caller, NMWatch);
    EXPECT_EQ(packet.destination, NMWatch);
    EXPECT_EQ(packet.operation, ZOVU_RUN_VUZ);
    EXPECT_EQ(packet.dataLength, 18u);
    TransferData::FreePacketData(&packet);
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

TEST_F(MessagingHostTest, CopyDataBlocksAreCheckedBeforeTheyAreRead) {
    struct Case { const char* name; std::vector<BYTE> block; bool nullData; int result; DWORD length; };
    const Case kCases[] = {
        {"empty", {}, false, 0, 0},
        {"six bytes", {4, 6, 4, 0, 0, 0}, false, 0, 0},
        {"no data block", {4, 6, 4, 0, 0, 0, 0}, true, 0, 0},
        {"one byte short of N", {4, 6, 4, 0, 0, 0, 2, 'a'}, false, 0, 0},
        {"N beyond the bound", {4, 6, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0}, false, 0, 0},
        {"header only", {4, 6, 5, 0, 0, 0, 0}, false, 1, 0},
        {"bytes after N are ignored", {4, 6, 4, 0, 0, 0, 2, 'a', 0, 'z'}, false, 1, 2},
    };
    TransferData& endpoint = Open(NMWatch, false);
    const HWND window = FindWindowA("Messenger", "Router6");
    ASSERT_NE(window, nullptr);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Machine::ClearMessageBoxes();
        COPYDATASTRUCT copyData{ZOVU_RUN_VUZ, static_cast<DWORD>(c.block.size()),
                                c.nullData ? nullptr : const_cast<BYTE*>(c.block.data())};
        EXPECT_EQ(TransferData::ReceiveCopyData(&copyData), c.result);
        EXPECT_EQ(SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copyData)), 0);
        const auto boxes = Machine::MessageBoxes();
        ASSERT_EQ(boxes.size(), c.result ? 0u : 1u);
        if (c.result == 0) {
            EXPECT_EQ(boxes[0].text, "An invalid packet was sent.");
            EXPECT_EQ(TransferData::GetLastErrorText(), "--** Error **--  Invalid packet sent through window.");
            continue;
        }
        TransferPacket packet{};
        ASSERT_TRUE(endpoint.GetPacket(&packet, 1));
        EXPECT_EQ(packet.dataLength, c.length);
        TransferData::FreePacketData(&packet);
    }
}

// The platform identifier picks the transport, never the version number:
// Windows 95 and NT 4.0 are both version 4.
TEST_F(MessagingHostTest, ThePlatformIdentifierChoosesPipesOrWindows) {
    for (const auto& c : nmtest::kPlatforms) {
        SCOPED_TRACE(c.name);
        const bool pipes = !c.win9x;
        traces_.Clear();
        Machine::SetOsVersion(c.version);
        nt_ = pipes;
        endpoint_ = std::make_unique<TransferData>();
        nmtest::InitializeAndWait(*endpoint_, NMTray, traces_, pipes);
        EXPECT_EQ(traces_.Count("Pipe Created"), pipes ? 1 : 0);
        EXPECT_EQ(FindWindowA("Messenger", "Router3") != nullptr, !pipes);
        endpoint_.reset();
        if (pipes) {
            EXPECT_TRUE(traces_.WaitFor("Thread Closed"));
        }
    }
}

TEST_F(MessagingHostTest, CopyDataIsRefusedOnTheNTFamily) {
    Open(NMWatch);
    BYTE block[] = {4, 6, 5, 0, 0, 0, 0};
    COPYDATASTRUCT copyData{0, sizeof block, block};
    EXPECT_EQ(TransferData::ReceiveCopyData(&copyData), 0);
    const char text[] = "--** Error **--  Windows NT based OS is communicating incorrectly.";
    EXPECT_EQ(TransferData::GetLastErrorText(), text);
    EXPECT_EQ(traces_.Count(text), 1);
}

// The shell opens and closes an endpoint for every command: what it opened,
// its ending thread included, must all be closed again.
bool HandlesReturnTo(size_t count) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Machine::OpenHandles() != count) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(MessagingHostTest, AnEndpointThatCameAndWentLeavesNoHandle) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "pipe" : "window");
        Machine::Reset();
        Machine::UseVirtualSleep(true);
        traces_.Clear();
        nt_ = nt;
        if (!nt)
            Machine::SetWindows9x();
        const size_t before = Machine::OpenHandles();
        for (int command = 0; command < 3; ++command) {
            TransferData endpoint;
            nmtest::InitializeAndWait(endpoint, NMWatch, traces_, nt);
        }
        if (nt) {
            EXPECT_TRUE(traces_.WaitFor("Thread Closed", 3));
        }
        EXPECT_TRUE(HandlesReturnTo(before)) << Machine::OpenHandles() << " open, " << before << " before";
    }
}

// Two folder windows of the shell run a command each at the same moment: each
// thread makes its own TransferData, sends and destroys it, while the endpoint
// and the outgoing packet are the class's.  Every packet that arrives must be
// one of the two lists, whole: never one command's length over the other's
// bytes, never a buffer freed under a send.
TEST_F(MessagingHostTest, CommandsOfTwoWindowThreadsArriveWhole) {
    TransferData& receiver = Open(NMWatch, false);
    const std::vector<std::string> kLists[] = {
        {"CONFIRM", "C:\\a.txt"},
        {"NORMAL", "QUICK", "CANCEL", "C:\\Documents and Settings\\Owner\\budget.xls"},
    };
    constexpr int kSends = 20;
    std::atomic<int> sent{0};
    std::atomic<int> running{2};
    auto window = [&](const std::vector<std::string>& list) {
        for (int i = 0; i < kSends; ++i) {
            TransferData command;
            command.Initialize(NMShellExt, nullptr);
            if (command.SendPacket(NMWatch, ZOVU_RUN_VUZ, list))
                ++sent;
        }
        --running;
    };
    std::thread first(window, kLists[0]), second(window, kLists[1]);
    int whole = 0, broken = 0;
    while (running > 0) {
        TransferPacket packet{};
        if (!receiver.GetPacket(&packet, 1))
            continue;
        std::vector<std::string> strings;
        TransferData::UnpackStrings(packet, &strings, false);
        const bool known = strings == kLists[0] || strings == kLists[1];
        (known && packet.operation == ZOVU_RUN_VUZ ? whole : broken)++;
        TransferData::FreePacketData(&packet);
    }
    first.join();
    second.join();
    EXPECT_EQ(sent.load(), 2 * kSends);
    EXPECT_EQ(broken, 0);
    EXPECT_GT(whole, 0);
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

// Without its security descriptor there is no pipe, and without the mailbox
// semaphore no receiver at all: never a pipe with other security, never a
// mailbox without its lock.
TEST_F(MessagingHostTest, AReceiverIsNeverHalfBuilt) {
    struct Case {
        const char* api;
        bool nt;
        const char* trace;  // what is traced as the receiver gives up
    };
    const Case kCases[] = {
        {"InitializeSecurityDescriptor", true, "Could not create pipe.  Error: 8"},
        {"SetSecurityDescriptorDacl", true, "Could not create pipe.  Error: 8"},
        {"CreateSemaphoreA", true, "Error Creating Thread"},
        {"CreateSemaphoreA", false, "Could not create the mailbox semaphore."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.api << (c.nt ? " (pipe)" : " (window)"));
        Machine::Reset();
        Machine::UseVirtualSleep(true);
        traces_.Clear();
        if (!c.nt)
            Machine::SetWindows9x();
        const size_t before = Machine::OpenHandles();
        Machine::FailNext(c.api, ERROR_NOT_ENOUGH_MEMORY, -1);
        {
            TransferData endpoint;
            endpoint.Initialize(NMWatch, GetModuleHandleA(nullptr));
            EXPECT_TRUE(traces_.WaitFor(c.trace));
            EXPECT_EQ(traces_.Count("Pipe Created"), 0);
            EXPECT_EQ(FindWindowA("Messenger", "Router6"), nullptr);
            EXPECT_FALSE(TransferData::IsReceiving());
            Machine::ClearFailures();
        }
        if (c.nt && std::string(c.api) != "CreateSemaphoreA") {
            EXPECT_EQ(TransferData::GetLastErrorText(), "Could not create pipe");
        }
        EXPECT_TRUE(HandlesReturnTo(before));
    }
    nt_ = false;  // no receiving thread is left to wait for
}

// A receiving thread that Close could not wait for, in the middle of a
// packet, and the next endpoint's thread taking one: each packet arrives
// whole.  A flush returns once the reader has read what was written, so the
// first thread has begun its data when the second thread's packet comes.
TEST_F(MessagingHostTest, AThreadLeftMidPacketAndTheNextEndpointsThreadEachTakeTheirOwn) {
    const std::vector<BYTE> slowPacket = {0x01, 0x06, 0x03, 0x00, 0x00, 0x00, 0x0A, 'a', 'b', 'c',
                                          'd',  'e',  'f',  'g',  'h',  'i',  'j'};
    auto first = std::make_unique<TransferData>();
    nmtest::InitializeAndWait(*first, NMWatch, traces_);
    HANDLE slow = CreateFileA(nmtest::PipeName(NMWatch).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(slow, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(slow, slowPacket.data(), 9, &written, nullptr));  // the header and 2 of its 10 bytes
    ASSERT_TRUE(FlushFileBuffers(slow));
    first.reset();  // its pipe is busy: Close cannot reach the thread, and leaves it
    ASSERT_EQ(traces_.Count("Thread Closed"), 0);

    TransferData& second = Open(NMTray);
    const std::vector<BYTE> example = nmtest::ExamplePacket();
    ASSERT_TRUE(nmtest::WriteToPipe(NMTray, example));
    ASSERT_TRUE(traces_.WaitFor(">>> Incoming"));
    TransferPacket packet{};
    ASSERT_TRUE(second.GetPacket(&packet, 1));
    EXPECT_EQ(std::vector<BYTE>(packet.data, packet.data + packet.dataLength),
              std::vector<BYTE>(example.begin() + 7, example.end()));
    delete[] packet.data;

    ASSERT_TRUE(WriteFile(slow, slowPacket.data() + 9, 8, &written, nullptr));
    CloseHandle(slow);
    ASSERT_TRUE(traces_.WaitFor(">>> Incoming", 2));
    ASSERT_TRUE(second.GetPacket(&packet, 1));
    EXPECT_EQ(packet.caller, 0x01);
    EXPECT_EQ(packet.operation, 0x03);
    EXPECT_EQ(std::string(packet.data, packet.data + packet.dataLength), "abcdefghij");
    delete[] packet.data;
    EXPECT_TRUE(traces_.WaitFor("Thread Closed")) << "the first thread ends by itself once its client is done";
    endpoint_.reset();
    EXPECT_TRUE(traces_.WaitFor("Thread Closed", 2));
}

// A trace sink may look at the mailbox as a packet comes in: the packet's
// trace runs outside the mailbox semaphore.
TEST_F(MessagingHostTest, ATraceSinkMayLookAtTheMailbox) {
    TransferData& endpoint = Open(NMTray);
    std::mutex lock;
    std::condition_variable changed;
    bool looked = false, closed = false;
    TransferData::SetTraceSink([&](const std::string& line) {
        const bool incoming = line.rfind(">>> Incoming", 0) == 0;
        if (incoming)
            TransferData::IsPacketWaiting();
        std::lock_guard guard(lock);
        looked = looked || incoming;
        closed = closed || line == "Thread Closed";
        changed.notify_all();
    });
    ASSERT_TRUE(nmtest::WriteToPipe(NMTray, nmtest::ExamplePacket()));
    std::unique_lock guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return looked; }));
    guard.unlock();
    TransferPacket packet{};
    EXPECT_TRUE(endpoint.GetPacket(&packet, 1));
    delete[] packet.data;
    endpoint_.reset();
    guard.lock();
    EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return closed; }));
    guard.unlock();
    TransferData::SetTraceSink(nullptr);
    nt_ = false;  // its end was seen above
}

// Holds the first thread that opens `pipe` inside that call until released:
// a send paused in the middle of its delivery, so that another thread's send
// always meets it there.
class PausedDelivery {
public:
    PausedDelivery() {
        Machine::OnApiCall([this](const char* api) {
            if (std::string(api) != "CreateFileA")
                return;
            std::unique_lock<std::mutex> guard(lock_);
            if (paused_ != 0 || running_ == 0 || GetCurrentThreadId() != running_)
                return;
            paused_ = running_;
            changed_.notify_all();
            changed_.wait(guard, [this] { return released_; });
        });
    }
    ~PausedDelivery() {
        Release();
        Machine::OnApiCall(nullptr);
    }
    // The thread to pause: the caller's own, from now on.
    void PauseMe() {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = GetCurrentThreadId();
    }
    bool WaitPaused() {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(10), [this] { return paused_ != 0; });
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    DWORD running_ = 0;
    DWORD paused_ = 0;
    bool released_ = false;
};

// Each send is its own packet: one that pauses inside its delivery neither
// holds up another thread's send nor has its bytes replaced or freed by it.
// The two overloads of SendPacket, both ways round.
TEST_F(MessagingHostTest, ASendPausedInItsDeliveryMeetsAnotherWholeEveryTime) {
    Open(NMShellExt);
    const std::vector<std::string> kList = {"CONFIRM", "C:\\a.txt"};
    const std::string kRaw = std::string("NORMAL\0SECURE\0CANCEL\0CD\0\0", 25);
    auto sendList = [&](BYTE to) { return endpoint_->SendPacket(to, ZOVU_RUN_VUZ, kList); };
    auto sendRaw = [&](BYTE to) { return endpoint_->SendPacket(to, ZOVU_RUN_VUZ, DWORD(kRaw.size()), kRaw.data()); };
    const std::vector<BYTE> listBytes = nmtest::ExamplePacket();
    auto rawBytes = [&](BYTE to) {
        std::vector<BYTE> b = {NMShellExt, to, ZOVU_RUN_VUZ, 0, 0, 0, BYTE(kRaw.size())};
        b.insert(b.end(), kRaw.begin(), kRaw.end());
        return b;
    };
    auto listFor = [&](BYTE to) {
        std::vector<BYTE> b = listBytes;
        b[1] = to;
        b[2] = ZOVU_RUN_VUZ;
        return b;
    };
    struct Case { const char* name; bool firstSendsList; };
    for (const Case c : {Case{"list paused, raw meets it", true}, Case{"raw paused, list meets it", false}}) {
        SCOPED_TRACE(c.name);
        nmtest::RawPipeServer watch(NMWatch), tray(NMTray);
        PausedDelivery pause;
        std::thread first([&] {
            pause.PauseMe();
            EXPECT_TRUE(c.firstSendsList ? sendList(NMWatch) : sendRaw(NMWatch));
        });
        ASSERT_TRUE(pause.WaitPaused());
        std::thread second([&] { EXPECT_TRUE(c.firstSendsList ? sendRaw(NMTray) : sendList(NMTray)); });
        EXPECT_EQ(tray.Join(3000), c.firstSendsList ? rawBytes(NMTray) : listFor(NMTray))
            << "the second send, while the first is paused";
        pause.Release();
        first.join();
        second.join();
        EXPECT_EQ(watch.Join(), c.firstSendsList ? listFor(NMWatch) : rawBytes(NMWatch)) << "the paused send";
    }
}

// A command run from a box's message loop (the box of a send that found no
// receiver) sends its own packet, and the outer send's packet is still its
// own: nothing replaced, nothing leaked (the sanitizer build counts).
TEST_F(MessagingHostTest, ACommandRunFromABoxSendsItsOwnPacket) {
    Open(NMShellExt);
    nmtest::RawPipeServer watch(NMWatch);
    bool inner = false;
    Machine::OnMessageBox([&](const hostwin::MessageBoxRecord&) {
        if (!inner)
            inner = endpoint_->SendPacket(NMWatch, ZOVU_RUN_NMBASE, {"CONFIRM", "C:\\a.txt"});
    });
    EXPECT_FALSE(endpoint_->SendPacket(NMVuz, ZOVU_DEFAULT_MESSAGE, {"NORMAL", "QUICK"}));
    EXPECT_TRUE(inner);
    std::vector<BYTE> expected = nmtest::ExamplePacket();
    expected[1] = NMWatch;
    expected[2] = ZOVU_RUN_NMBASE;
    EXPECT_EQ(watch.Join(), expected);
    EXPECT_EQ(Machine::MessageBoxes().size(), 1u);
}

// The mailbox semaphore that could not be made once is made by the next share
// that asks: the receiver starts, and a packet reaches the mailbox.
TEST_F(MessagingHostTest, ASemaphoreThatFailedOnceIsMadeByTheNextShare) {
    for (const bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "pipe" : "window");
        Machine::Reset();
        Machine::UseVirtualSleep(true);
        traces_.Clear();
        if (!nt)
            Machine::SetWindows9x();
        nt_ = nt;
        Machine::FailNext("CreateSemaphoreA", ERROR_NOT_ENOUGH_MEMORY, 1);  // the construction's
        endpoint_ = std::make_unique<TransferData>();
        nmtest::InitializeAndWait(*endpoint_, NMWatch, traces_, nt);
        EXPECT_EQ(traces_.Count("Could not create the mailbox semaphore."), 1);
        EXPECT_EQ(traces_.Count("Error Creating Thread"), 0);
        if (nt) {
            ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, nmtest::ExamplePacket()));
        } else {
            const HWND window = FindWindowA("Messenger", "Router6");
            ASSERT_NE(window, nullptr);
            std::vector<BYTE> packet = nmtest::ExamplePacket();
            COPYDATASTRUCT copyData{0, DWORD(packet.size()), packet.data()};
            SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copyData));
        }
        TransferPacket packet{};
        ASSERT_TRUE(endpoint_->GetPacket(&packet, 5));
        EXPECT_EQ(packet.dataLength, 18u);
        TransferData::FreePacketData(&packet);
        // The close byte needs a pipe instance to go to: wait for the next one.
        if (nt) {
            ASSERT_TRUE(traces_.WaitFor("Pipe Created", 2));
        }
        endpoint_.reset();
        if (nt) {
            EXPECT_TRUE(traces_.WaitFor("Thread Closed"));
        }
    }
    nt_ = false;
}

TEST_F(MessagingHostTest, OnlyVistaAndLaterAreAskedToRefuseRemoteClients) {
    struct Case {
        const char* name;
        DWORD platform, major, minor;
        bool refuses;
    };
    const Case kCases[] = {
        {"Windows 98", 1, 4, 10, false},   {"Windows NT 4.0", 2, 4, 0, false}, {"Windows XP", 2, 5, 1, false},
        {"Server 2003", 2, 5, 2, false},   {"Windows Vista", 2, 6, 0, true},   {"Windows 10", 2, 10, 0, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        OSVERSIONINFOA version{};
        version.dwPlatformId = c.platform;
        version.dwMajorVersion = c.major;
        version.dwMinorVersion = c.minor;
        EXPECT_EQ((TransferData::ReceivingPipeMode(version) & PIPE_REJECT_REMOTE_CLIENTS) != 0, c.refuses);
    }
    nt_ = false;  // no endpoint was opened
}

// Another process takes the endpoint's pipe name between two of its clients
// (a second copy of the component starting just then): the receiving thread
// waits for the name instead of ending, and serves again once it is free.
TEST_F(MessagingHostTest, AReceiverWhoseNameWasTakenBetweenTwoClientsWaitsForIt) {
    Machine::UseVirtualSleep(false);  // the thread's waits for its name are real
    TransferData& endpoint = Open(NMWatch);
    const DWORD self = GetCurrentThreadId();
    std::mutex lock;
    std::condition_variable changed;
    HANDLE taken = INVALID_HANDLE_VALUE;
    // The thread makes its next instance right after its first client.
    Machine::OnApiCall([&](const char* api) {
        if (std::string(api) != "InitializeSecurityDescriptor" || GetCurrentThreadId() == self)
            return;
        std::lock_guard<std::mutex> guard(lock);
        if (taken != INVALID_HANDLE_VALUE)
            return;
        taken = CreateNamedPipeA(nmtest::PipeName(NMWatch).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0,
                                 nullptr);
        changed.notify_all();
    });
    ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, nmtest::ExamplePacket()));
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return taken != INVALID_HANDLE_VALUE; }));
    }
    EXPECT_TRUE(traces_.WaitFor("Could not create pipe.  Error: 231"));
    Machine::OnApiCall(nullptr);
    CloseHandle(taken);  // the other process goes

    ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, nmtest::ExamplePacket()));
    ASSERT_TRUE(traces_.WaitFor(">>> Incoming", 2));
    TransferPacket packet{};
    ASSERT_TRUE(endpoint.GetPacket(&packet, 5));
    TransferData::FreePacketData(&packet);
    EXPECT_EQ(traces_.Count("Thread Closed"), 0);
}

// The shell runs command after command in one process for as long as it
// lives: each command's endpoint, its receiving thread among them, must be
// gone when the command returns.  Ten runs of a hundred commands, each run
// ending with the handles and the threads it began with.
int HostThreads() {
    int n = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// At most `count`: a thread of an earlier test may still be on its way out.
bool ThreadsReturnTo(int count) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (HostThreads() > count) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(MessagingHostTest, TenRunsOfAHundredCommandsLeaveNoHandleOrThreadBehind) {
    LinkedExtension ext;
    ASSERT_NE(ext.menu(), nullptr);
    ASSERT_EQ(ext.Initialize({"C:\\"}), S_OK);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(3);  // Scan Drives for Deleted Data: "C" to the tray
    const std::vector<BYTE> request{0x04, 0x03, 0x06, 0x00, 0x00, 0x00, 0x03, 'C', 0x00, 0x00};
    for (int run = 1; run <= 10; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        const size_t handles = Machine::OpenHandles();
        const int threads = HostThreads();
        for (int command = 0; command < 100; ++command) {
            nmtest::RawPipeServer tray(NMTray);
            ASSERT_EQ(ext.menu()->InvokeCommand(&info), S_OK);
            ASSERT_EQ(tray.Join(), request);
        }
        EXPECT_TRUE(HandlesReturnTo(handles)) << Machine::OpenHandles() << " open, " << handles << " before";
        EXPECT_TRUE(ThreadsReturnTo(threads)) << HostThreads() << " threads, " << threads << " before";
    }
    nt_ = false;  // every endpoint was the commands' own
}

}  // namespace
