// Named pipes through the Win32 API only, set up the way a one-connection
// inbound server sets them up: byte stream, one instance, buffer sizes 0.
// This file runs on hostwin and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "support/start_line.h"

namespace {

std::string UniquePipeName(const char* what) {
    static int counter = 0;
    return "\\\\.\\pipe\\nmtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
           what;
}

HANDLE CreateServer(const std::string& name, DWORD inBufferSize = 0) {
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    return CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0,
                            inBufferSize, 0, &sa);
}

HANDLE OpenClient(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A client for a server that is between two connections: nothing announces
// that its instance is free again, so the open itself is retried until it
// succeeds or the time is up.
HANDLE OpenClientWithin(const std::string& name, DWORD milliseconds = 5000) {
    const DWORD start = GetTickCount();
    HANDLE client = OpenClient(name);
    while (client == INVALID_HANDLE_VALUE && GetTickCount() - start < milliseconds) {
        Sleep(1);
        client = OpenClient(name);
    }
    return client;
}

// Ends a server thread that still waits in ConnectNamedPipe for a client the
// test no longer sends: it gets an empty connection instead.
void ReleaseWaitingServer(const std::string& name) {
    HANDLE client = OpenClientWithin(name, 1000);
    if (client != INVALID_HANDLE_VALUE)
        CloseHandle(client);
}

// Runs `body` on a thread of its own; Join waits for it.
class Worker {
public:
    explicit Worker(std::function<void()> body) : body_(std::move(body)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Worker() { Join(); }
    bool Join() {
        if (thread_ == nullptr)
            return true;
        const bool ended = WaitForSingleObject(thread_, 10000) == WAIT_OBJECT_0;
        CloseHandle(thread_);
        thread_ = nullptr;
        return ended;
    }

private:
    static DWORD WINAPI Run(LPVOID self) {
        static_cast<Worker*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE thread_;
};

struct ReadResult {
    BOOL ok;
    DWORD error;
    std::vector<BYTE> bytes;
};

ReadResult ReadOnce(HANDLE pipe, DWORD size) {
    ReadResult r{FALSE, 0, std::vector<BYTE>(size)};
    DWORD got = 0;
    r.ok = ReadFile(pipe, r.bytes.data(), size, &got, nullptr);
    r.error = r.ok ? 0 : GetLastError();
    r.bytes.resize(r.ok ? got : 0);
    return r;
}

bool WriteAll(HANDLE pipe, const std::vector<BYTE>& bytes) {
    DWORD written = 0;
    return WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

TEST(NamedPipes, OpeningTellsMissingFromBusyAndAnEarlyClientIsAlreadyConnected) {
    const std::string name = UniquePipeName("open");
    HANDLE client = OpenClient(name);
    EXPECT_EQ(client, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no instance yet";

    HANDLE server = CreateServer(name);
    ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    client = OpenClient(name);
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << "a new instance listens before ConnectNamedPipe: " << GetLastError();
    EXPECT_FALSE(ConnectNamedPipe(server, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));

    EXPECT_EQ(OpenClient(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY)) << "the only instance serves a client";
    EXPECT_EQ(CreateServer(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY)) << "one instance at most";

    CloseHandle(client);
    EXPECT_TRUE(DisconnectNamedPipe(server));
    EXPECT_EQ(OpenClient(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY)) << "disconnected and not listening again yet";

    CloseHandle(server);
    EXPECT_EQ(OpenClient(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the instance is gone";
}

// Two servers that make a pipe of one instance at the same moment: one gets
// it, the other hears that it is busy.  A process decides by that answer
// that its pipe name is another's.
TEST(NamedPipes, OfTwoServersRacingForTheOneInstanceOnlyOneGetsIt) {
    constexpr int kRounds = 300;
    int both = 0, neither = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string name = UniquePipeName("race");
        HANDLE got[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
        DWORD error[2] = {0, 0};
        nmtest::StartLine start(2);
        auto make = [&](int i) {
            start.ArriveAndWait();
            got[i] = CreateServer(name);
            error[i] = GetLastError();
        };
        std::thread first(make, 0), second(make, 1);
        first.join();
        second.join();
        const bool made[2] = {got[0] != INVALID_HANDLE_VALUE, got[1] != INVALID_HANDLE_VALUE};
        both += made[0] && made[1];
        neither += !made[0] && !made[1];
        for (int i = 0; i < 2; ++i)
            if (made[i])
                CloseHandle(got[i]);
            else
                EXPECT_EQ(error[i], static_cast<DWORD>(ERROR_PIPE_BUSY));
    }
    EXPECT_EQ(both, 0) << "rounds of " << kRounds << " in which both servers had the one instance";
    EXPECT_EQ(neither, 0) << "rounds of " << kRounds << " in which neither had it";
}

TEST(NamedPipes, ReadsTakeWhatArrivedUpToTheSizeAskedForThenTheClosedEndBreaksThePipe) {
    const std::string name = UniquePipeName("stream");
    HANDLE server = CreateServer(name);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    BOOL connected = FALSE;
    ReadResult header, body, after;
    Worker reader([&] {
        connected = ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        header = ReadOnce(server, 7);
        body = ReadOnce(server, 100);
        after = ReadOnce(server, 7);
    });

    std::vector<BYTE> packet(25);
    for (size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<BYTE>(i + 1);
    HANDLE client = OpenClientWithin(name);
    if (client == INVALID_HANDLE_VALUE)
        ReleaseWaitingServer(name);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteAll(client, packet));
    CloseHandle(client);  // without a flush, as a close request is sent
    ASSERT_TRUE(reader.Join());

    EXPECT_TRUE(connected);
    EXPECT_EQ(header.bytes, std::vector<BYTE>(packet.begin(), packet.begin() + 7));
    EXPECT_EQ(body.bytes, std::vector<BYTE>(packet.begin() + 7, packet.end())) << "the rest, not 100 bytes";
    EXPECT_FALSE(after.ok);
    EXPECT_EQ(after.error, static_cast<DWORD>(ERROR_BROKEN_PIPE)) << "the client has closed its end";
    CloseHandle(server);
}

// A server instance with its client connected; both ends closed at the end.
struct ConnectedPipe {
    explicit ConnectedPipe(const char* what, DWORD inBufferSize) {
        const std::string name = UniquePipeName(what);
        server = CreateServer(name, inBufferSize);
        client = OpenClient(name);
        ConnectNamedPipe(server, nullptr);
    }
    ~ConnectedPipe() {
        CloseHandle(client);
        CloseHandle(server);
    }
    ConnectedPipe(const ConnectedPipe&) = delete;
    ConnectedPipe& operator=(const ConnectedPipe&) = delete;
    bool ok() const { return server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE; }

    HANDLE server = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;
};

// With buffer size 0 the writer returns only once the reader has taken every
// byte.  The reader waits a little before each read, so that a writer that
// does not wait is caught returning early; a correct one passes however the
// threads are scheduled, as the flags go up before each read.
TEST(NamedPipes, WithoutABufferTheWriterWaitsForTheReaderAndFlushWaitsAlways) {
    ConnectedPipe pipe("unbuffered", 0);
    ASSERT_TRUE(pipe.ok());
    std::atomic<bool> readingRest{false};
    Worker reader([&] {
        Sleep(100);
        ReadOnce(pipe.server, 7);
        Sleep(50);
        readingRest = true;
        ReadOnce(pipe.server, 100);
    });
    EXPECT_TRUE(WriteAll(pipe.client, std::vector<BYTE>(25, 0x55)));
    EXPECT_TRUE(readingRest.load()) << "WriteFile returned before the reader took all the bytes";
    EXPECT_TRUE(FlushFileBuffers(pipe.client));
    EXPECT_TRUE(reader.Join());
}

// A pipe that can hold the bytes lets the writer go at once: the reader
// reads only after WriteFile has returned (or after 5 s, which fails the
// test instead of hanging it), and the flush then waits for that read (the
// flag goes up just before it).
TEST(NamedPipes, WithABufferTheWriterGoesOnAndFlushWaitsForTheReader) {
    ConnectedPipe pipe("buffered", 4096);
    ASSERT_TRUE(pipe.ok());
    HANDLE written = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    std::atomic<bool> writerWasDone{false}, reading{false};
    Worker reader([&] {
        writerWasDone = WaitForSingleObject(written, 5000) == WAIT_OBJECT_0;
        Sleep(50);  // a flush that does not wait is caught returning early
        reading = true;
        ReadOnce(pipe.server, 100);
    });
    EXPECT_TRUE(WriteAll(pipe.client, std::vector<BYTE>(25, 0x55)));
    ReleaseSemaphore(written, 1, nullptr);
    EXPECT_TRUE(FlushFileBuffers(pipe.client));
    EXPECT_TRUE(reading.load()) << "FlushFileBuffers returned before the reader took the bytes";
    EXPECT_TRUE(reader.Join());
    EXPECT_TRUE(writerWasDone.load()) << "WriteFile waited although the pipe could hold the bytes";
    CloseHandle(written);
}

TEST(NamedPipes, WritingFailsOnceTheServerDisconnectedOrClosed) {
    struct Case {
        bool disconnect;
        DWORD error;
    };
    constexpr Case kCases[] = {{true, ERROR_PIPE_NOT_CONNECTED}, {false, ERROR_NO_DATA}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.disconnect ? "DisconnectNamedPipe" : "CloseHandle");
        const std::string name = UniquePipeName("gone");
        HANDLE server = CreateServer(name);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
        HANDLE client = OpenClient(name);
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
        ConnectNamedPipe(server, nullptr);
        if (c.disconnect)
            EXPECT_TRUE(DisconnectNamedPipe(server));
        else
            CloseHandle(server);
        const BYTE b = 0x7E;
        DWORD written = 0;
        EXPECT_FALSE(WriteFile(client, &b, 1, &written, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
        CloseHandle(client);
        if (c.disconnect)
            CloseHandle(server);
    }
}

TEST(NamedPipes, OneInstanceServesItsClientsOneAfterAnother) {
    const std::string name = UniquePipeName("serial");
    HANDLE server = CreateServer(name);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    std::vector<BYTE> received;
    Worker loop([&] {
        for (int i = 0; i < 2; ++i) {
            if (!ConnectNamedPipe(server, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
                return;
            received.push_back(ReadOnce(server, 1).bytes.at(0));
            // Disconnecting before the client has closed would fail its flush.
            BYTE more = 0;
            DWORD got = 0;
            while (ReadFile(server, &more, 1, &got, nullptr) && got != 0) {
            }
            DisconnectNamedPipe(server);
        }
    });
    for (BYTE value : {BYTE{1}, BYTE{2}}) {
        HANDLE client = OpenClientWithin(name);  // busy while the instance is disconnected
        if (client == INVALID_HANDLE_VALUE)
            ReleaseWaitingServer(name);
        ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_TRUE(WriteAll(client, {value}));
        EXPECT_TRUE(FlushFileBuffers(client));
        CloseHandle(client);
    }
    ASSERT_TRUE(loop.Join());
    EXPECT_EQ(received, (std::vector<BYTE>{1, 2}));
    CloseHandle(server);
}

TEST(NamedPipes, AnOpenSecurityDescriptorIsRevisionOneWithANullAccessList) {
    SECURITY_DESCRIPTOR sd;
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(sd.Revision, SECURITY_DESCRIPTOR_REVISION);
    EXPECT_EQ(sd.Control & SE_DACL_PRESENT, SE_DACL_PRESENT);
    EXPECT_EQ(sd.Dacl, nullptr);
}

}  // namespace
