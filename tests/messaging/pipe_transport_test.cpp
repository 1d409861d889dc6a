// Both ends of the pipe transport, each against a raw peer written with
// plain Win32 calls.  The NT family only (Windows, Wine; the host machine
// starts as Windows XP).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "messaging/messaging_support.h"

namespace {

using nmtest::Bytes;

// How long a test waits for a receiving thread's next step before it fails.
constexpr int kPatienceMs = 60000;

std::vector<BYTE> Header(BYTE caller, BYTE destination, BYTE operation, DWORD length) {
    return {caller, destination, operation, BYTE(length >> 24), BYTE(length >> 16), BYTE(length >> 8), BYTE(length)};
}

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One endpoint per test; its receiving thread is gone again when the test ends.
class PipeEndpointTest : public testing::Test {
protected:
    void Open(CallerId self) {
        endpoint_ = std::make_unique<TransferData>();
        nmtest::InitializeAndWait(*endpoint_, self, traces_);
    }
    void TearDown() override {
        const bool threadRunning = traces_.Count("Thread Closed") == 0;
        // Close reaches the thread only through its pipe, which it makes anew
        // after every request: wait until it is there again, or the close
        // byte finds no pipe and the thread goes on.
        if (threadRunning)
            traces_.WaitFor("Pipe Created", traces_.Count("Pipe connected") + 1);
        endpoint_.reset();
        if (threadRunning) {
            EXPECT_TRUE(traces_.WaitFor("Thread Closed"));
        }
    }

    nmtest::TraceRecorder traces_;
    std::unique_ptr<TransferData> endpoint_;
};

// --- sending

struct SendCase {
    const char* name;
    std::vector<std::string> strings;
    std::vector<BYTE> expected;
};

TEST_F(PipeEndpointTest, SendsStringListsByteExact) {
    const std::string long256(256, 'L');
    const SendCase kCases[] = {
        {"the example", {"CONFIRM", "C:\\a.txt"}, nmtest::ExamplePacket()},
        {"one string", {"CONFIRM"}, Concat(Header(4, 0, 0, 9), Bytes(std::string("CONFIRM\0\0", 9)))},
        {"empty list", {}, Header(4, 0, 0, 0)},
        {"only empty strings", {"", ""}, Header(4, 0, 0, 0)},
        {"first string empty", {"", "x"}, Concat(Header(4, 0, 0, 4), Bytes(std::string("\0x\0\0", 4)))},
        {"N = 258", {long256}, Concat(Concat(Header(4, 0, 0, 258), Bytes(long256)), {0, 0})},
    };
    Open(NMShellExt);
    endpoint_->Initialize(NMTray, nullptr);  // a second Initialize changes nothing
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        nmtest::RawPipeServer destination(NMVuz);
        ASSERT_TRUE(destination.created());
        EXPECT_TRUE(endpoint_->SendPacket(NMVuz, ZOVU_DEFAULT_MESSAGE, c.strings));
        EXPECT_EQ(destination.Join(), c.expected);
    }
}

TEST_F(PipeEndpointTest, SendsRawDataAndTracesEachPacket) {
    Open(NMShellExt);
    const BYTE bytes[] = {0x00, 0x7E, 0xFF};
    struct Case { DWORD length; const void* data; std::vector<BYTE> expected; const char* firstBytes; };
    const Case kCases[] = {
        {0, nullptr, Header(4, 3, 5, 0), "(no data)"},
        {3, bytes, Concat(Header(4, 3, 5, 3), {0x00, 0x7E, 0xFF}), ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.length);
        nmtest::RawPipeServer destination(NMTray);
        EXPECT_TRUE(endpoint_->SendPacket(NMTray, ZOVU_RUN_NMBASE, c.length, c.data));
        EXPECT_EQ(destination.Join(), c.expected);
        EXPECT_EQ(traces_.Last("<<< Outgoing >>>"),
                  "<<< Outgoing >>>\r\n\t\t<- Caller\t= NMShellExt\r\n\t\t<- Destination\t= NMTray\r\n\t\t<- "
                  "Operation\t= ZOVU_RUN_NMBASE\r\n\t\t<- DataLength\t= " +
                      std::to_string(c.length) + "\r\n\t\t<- First50Bytes\t= " + c.firstBytes);
    }
}

// --- receiving

TEST_F(PipeEndpointTest, TakesTheExamplePacketAndServesTheNextClient) {
    Open(NMVuz);
    ASSERT_TRUE(nmtest::WriteToPipe(NMVuz, nmtest::ExamplePacket()));
    TransferPacket packet{};
    ASSERT_TRUE(endpoint_->GetPacket(&packet, 5));
    EXPECT_EQ(packet.caller, NMShellExt);
    EXPECT_EQ(packet.destination, NMVuz);
    EXPECT_EQ(packet.operation, ZOVU_DEFAULT_MESSAGE);
    ASSERT_EQ(packet.dataLength, 18u);
    std::vector<std::string> strings;
    TransferData::UnpackStrings(packet, &strings, false);
    EXPECT_EQ(strings, (std::vector<std::string>{"CONFIRM", "C:\\a.txt"}));
    TransferData::FreePacketData(&packet);
    EXPECT_EQ(traces_.Count("Packet Error!"), 0);
    EXPECT_EQ(traces_.Count(">>> Incoming <<<\r\n\t\t-> Caller\t= NMShellExt\r\n\t\t-> Destination\t= NMVuz\r\n\t\t-> "
                            "Operation\t= ZOVU_DEFAULT_MESSAGE\r\n\t\t-> DataLength\t= 18\r\n\t\t-> First50Bytes\t= "
                            "CONFIRM"),
              1);
    EXPECT_TRUE(traces_.WaitFor("Pipe Created, connecting ...", 2));  // a new instance for the next client
}

TEST_F(PipeEndpointTest, TakesAListLargerThanOneReadOrOneBlock) {
    std::vector<BYTE> data;
    for (int i = 0; i < 3000; ++i) {
        const std::string path = "C:\\folder\\file number " + std::to_string(i) + ".txt";
        data.insert(data.end(), path.begin(), path.end());
        data.push_back(0);
    }
    data.push_back(0);
    Open(NMWatch);
    ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, Concat(Header(4, 6, 4, DWORD(data.size())), data)));
    TransferPacket packet{};
    ASSERT_TRUE(endpoint_->GetPacket(&packet, 5));
    ASSERT_EQ(packet.dataLength, data.size());
    EXPECT_EQ(std::vector<BYTE>(packet.data, packet.data + packet.dataLength), data);
    std::vector<std::string> strings;
    TransferData::UnpackStrings(packet, &strings, false);
    TransferData::FreePacketData(&packet);
    ASSERT_EQ(strings.size(), 3000u);
    EXPECT_EQ(strings[2999], "C:\\folder\\file number 2999.txt");
}

TEST_F(PipeEndpointTest, HandsOverOnlyTheLastOfTwoPacketsAndEmptyData) {
    Open(NMWatch);
    ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, Concat(Header(3, 6, 1, 2), {'a', 0})));
    ASSERT_TRUE(traces_.WaitFor(">>> Incoming", 1));
    ASSERT_TRUE(nmtest::WriteToPipe(NMWatch, Header(4, 9, 5, 0)));  // addressed elsewhere: taken in all the same
    // The trace comes before the mailbox takes the packet; the next pipe
    // instance comes after.
    ASSERT_TRUE(traces_.WaitFor("Pipe Created", 3));
    EXPECT_EQ(traces_.Count(">>> Incoming"), 2);
    EXPECT_NE(traces_.Last(">>> Incoming").find("First50Bytes\t= (no data)"), std::string::npos);

    TransferPacket packet{};
    ASSERT_TRUE(endpoint_->GetPacket(&packet, 1));
    EXPECT_EQ(packet.caller, NMShellExt);
    EXPECT_EQ(packet.destination, NMRegManager);
    EXPECT_EQ(packet.operation, ZOVU_RUN_NMBASE);
    EXPECT_EQ(packet.dataLength, 0u);
    EXPECT_EQ(packet.data, nullptr);
    EXPECT_FALSE(TransferData::IsPacketWaiting());
}

TEST_F(PipeEndpointTest, GetPacketWithoutLimitWaitsForTheNextPacket) {
    Open(NMTray);
    std::thread late([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        nmtest::WriteToPipe(NMTray, Concat(Header(4, 3, 6, 3), {'d', 0, 0}));
    });
    TransferPacket packet{};
    EXPECT_TRUE(endpoint_->GetPacket(&packet, 0));
    late.join();
    EXPECT_EQ(packet.operation, ZOVU_RUN_NULLSCAN);
    ASSERT_EQ(packet.dataLength, 3u);
    EXPECT_EQ(packet.data[0], 'd');
    TransferData::FreePacketData(&packet);

    EXPECT_FALSE(endpoint_->GetPacket(&packet, 1));
    EXPECT_EQ(TransferData::GetLastErrorText(), "Timeout on GetPacket");
}

TEST_F(PipeEndpointTest, CloseByteEndsTheThreadAndOneWithoutItsStartRecordCarriesOn) {
    Open(NMAgent);
    ASSERT_TRUE(nmtest::WriteToPipe(NMAgent, {0x7E}));
    ASSERT_TRUE(traces_.WaitFor("Thread Closed"));
    EXPECT_EQ(traces_.Count("Pipe Closed"), 1);
    EXPECT_EQ(traces_.Count("Failed to receive"), 0);
    EXPECT_FALSE(TransferData::IsPacketWaiting());

    // A thread started without its start record says so, then serves the
    // endpoint's pipe from the class-wide state as any other.
    // Each write waits for the thread's own word that its pipe is there: a
    // loaded machine may keep it from running for many seconds.
    const int pipes = traces_.Count("Pipe Created");
    HANDLE thread = CreateThread(nullptr, 0, TransferData::MessengerThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(traces_.WaitFor("Pipe Created", pipes + 1, kPatienceMs));
    EXPECT_TRUE(nmtest::WriteToPipe(NMAgent, nmtest::ExamplePacket()));
    EXPECT_TRUE(traces_.WaitFor("Pipe Created", pipes + 2, kPatienceMs));
    EXPECT_TRUE(nmtest::WriteToPipe(NMAgent, {0x7E}));
    EXPECT_EQ(WaitForSingleObject(thread, kPatienceMs), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(traces_.Count("Messenger Thread failed to receive a copy of the TransferData class"), 1);
    EXPECT_EQ(traces_.Count("Thread Closed"), 2);
    TransferPacket packet{};
    ASSERT_TRUE(endpoint_->GetPacket(&packet, 1));
    EXPECT_EQ(packet.dataLength, 18u);
    TransferData::FreePacketData(&packet);
}

TEST_F(PipeEndpointTest, MalformedInputEndsTheThreadWithItsText) {
    struct Case { const char* name; std::vector<BYTE> bytes; const char* stored; };
    const Case kCases[] = {
        {"one byte, not the close byte", {0x41}, "--** Error **--  Invalid packet sent through pipe."},
        {"two bytes", {0x7E, 0x7E}, "--** Error **--  Invalid packet sent through pipe."},
        {"six bytes", {4, 0, 0, 0, 0, 0}, "--** Error **--  Invalid packet sent through pipe."},
        {"data shorter than declared", Concat(Header(4, 2, 0, 10), {1, 2, 3, 4, 5}),
         "--** Error **--  Lost or gained data in the pipe"},
        {"declared length beyond the bound", Header(4, 2, 0, TransferData::kMaxDataLength + 1),
         "--** Error **--  Invalid packet sent through pipe."},
        {"declared length 4 GiB", Header(4, 2, 0, 0xFFFFFFFFu), "--** Error **--  Invalid packet sent through pipe."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        traces_.Clear();
        Open(NMScanner);
        ASSERT_TRUE(nmtest::WriteToPipe(NMScanner, c.bytes));
        ASSERT_TRUE(traces_.WaitFor("Thread Closed"));
        EXPECT_EQ(TransferData::GetLastErrorText(), c.stored);
        EXPECT_EQ(traces_.Count(c.stored), 1);
        EXPECT_EQ(traces_.Count("Failed to receive or parse packet on MessengerThread"), 1);
        EXPECT_FALSE(TransferData::IsPacketWaiting());
        endpoint_.reset();
    }
}

// A close request names the receiving thread it is for: one that names
// another thread (another process's endpoint on the same pipe name) is
// dropped, and the thread serves on.
TEST_F(PipeEndpointTest, ACloseRequestForAnotherThreadIsIgnored) {
    Open(NMAgent);
    const DWORD other = GetCurrentThreadId();
    ASSERT_TRUE(nmtest::WriteToPipe(NMAgent, {TransferData::kCloseByte, BYTE(other >> 24), BYTE(other >> 16),
                                              BYTE(other >> 8), BYTE(other)}));
    ASSERT_TRUE(nmtest::WriteToPipe(NMAgent, nmtest::ExamplePacket()));
    TransferPacket packet{};
    ASSERT_TRUE(endpoint_->GetPacket(&packet, 5)) << TransferData::GetLastErrorText();
    EXPECT_EQ(packet.dataLength, 18u);
    TransferData::FreePacketData(&packet);
    EXPECT_EQ(traces_.Count("Close request for another receiving thread: ignored"), 1);
    EXPECT_EQ(traces_.Count("Thread Closed"), 0);
    EXPECT_TRUE(TransferData::IsReceiving());
}

// Another process holds the identity's pipe (a second copy of a component,
// or another Explorer's command): this endpoint says that it cannot
// receive, and its end sends nothing to the pipe that is not its own.
TEST(SharedIdentityTest, AnEndpointWhosePipeIsHeldElsewhereSaysSoAndStopsNothing) {
    nmtest::TraceRecorder traces;
    nmtest::RawPipeServer holder(NMVuz);
    ASSERT_TRUE(holder.created());
    {
        TransferData endpoint;
        endpoint.Initialize(NMVuz, GetModuleHandleA(nullptr));
        EXPECT_FALSE(TransferData::IsReceiving());
        EXPECT_EQ(TransferData::GetLastErrorText(), "Could not create pipe");
        EXPECT_EQ(traces.Count("Pipe Created"), 0);
    }
    EXPECT_EQ(holder.Finish(), std::vector<BYTE>{}) << "the holder got a close request";
    EXPECT_TRUE(holder.served());
}

// The receiving pipe answers this machine only, where the system knows how
// to say so; a pipe made that way still takes a client of this machine.
TEST(ReceivingPipeTest, ReceivingPipeOnlyForThisMachineWhereKnown) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    const bool known = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
    std::printf("system %lu.%lu (platform %lu): %s\n", static_cast<unsigned long>(version.dwMajorVersion),
                static_cast<unsigned long>(version.dwMinorVersion), static_cast<unsigned long>(version.dwPlatformId),
                known ? "PIPE_REJECT_REMOTE_CLIENTS" : "no remote-client flag");
    const DWORD mode = TransferData::ReceivingPipeMode(version);
    EXPECT_EQ(mode, DWORD(PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT) | (known ? PIPE_REJECT_REMOTE_CLIENTS : 0));

    const char name[] = "\\\\.\\pipe\\NMShell402LocalOnly";
    HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, mode, 1, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    HANDLE client = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(client, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (client != INVALID_HANDLE_VALUE)
        CloseHandle(client);
    CloseHandle(pipe);
}

}  // namespace
