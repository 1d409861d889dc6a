// Named pipes of a shared machine: they live in its folder, so that another
// process reaches them, and an instance left by an ended process is no
// obstacle.  Also: a retry loop on virtual time reaches a server thread that
// comes up while it retries.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "hostwin/machine.h"
#include "platform/win32.h"

namespace {

namespace fs = std::filesystem;
using hostwin::Machine;

class SharedMachinePipes : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("nm-pipes-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        Machine::Attach(folder_.string());
    }
    void TearDown() override {
        Machine::Attach("");  // back to a machine of this process alone
        fs::remove_all(folder_);
    }
    std::vector<std::string> PipeFiles() const {
        std::vector<std::string> names;
        if (fs::exists(folder_ / "pipes"))
            for (const auto& entry : fs::directory_iterator(folder_ / "pipes"))
                names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder_;
};

constexpr char kPipe[] = "\\\\.\\pipe\\Router0";

HANDLE CreateServer() {
    return CreateNamedPipeA(kPipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 0, 0,
                            nullptr);
}

HANDLE OpenClient() {
    return CreateFileA(kPipe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(SharedMachinePipes, AnInstanceIsKeptInTheMachineFolderWhileItExists) {
    HANDLE server = CreateServer();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(PipeFiles().empty()) << "nothing in " << (folder_ / "pipes");
    CloseHandle(server);
    EXPECT_TRUE(PipeFiles().empty()) << "a closed instance leaves nothing behind";
}

TEST_F(SharedMachinePipes, AnotherProcessWritesAPacketThatThisOneReads) {
    HANDLE server = CreateServer();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        BYTE packet[10] = {4, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
        HANDLE pipe = OpenClient();
        DWORD written = 0;
        const bool ok = pipe != INVALID_HANDLE_VALUE && WriteFile(pipe, packet, sizeof packet, &written, nullptr) &&
                        FlushFileBuffers(pipe);
        ::_exit(ok ? 0 : 1);  // no destructors: the server's files belong to the parent
    }
    EXPECT_TRUE(ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED);
    BYTE header[7] = {}, data[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(server, header, sizeof header, &got, nullptr));
    EXPECT_EQ(got, 7u);
    EXPECT_EQ(header[0], 4);
    ASSERT_TRUE(ReadFile(server, data, header[6], &got, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), got), "abc");
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the client's write or flush failed";
    CloseHandle(server);
}

TEST_F(SharedMachinePipes, AnInstanceLeftByAnEndedProcessIsNotInTheWay) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(CreateServer() == INVALID_HANDLE_VALUE ? 1 : 0);  // ends without closing it
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(OpenClient(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "not busy: its server is gone";
    HANDLE server = CreateServer();
    EXPECT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(server);
}

// The server thread comes up only once the client has been refused, and the
// client then retries on virtual time: each Sleep moves the clock, and the
// loop keeps going until the server's pipe takes it (10 s of real time at
// most).  Nothing counts tries: a loaded machine may keep the thread from
// running for a long while.  The server is released whatever happened, so
// that the join cannot wait for a client that never came.
TEST(VirtualSleepPipes, ARetryLoopStillReachesAServerThatComesUpAMomentLater) {
    Machine::Reset();
    Machine::UseVirtualSleep(true);
    std::promise<void> refused, listening;
    auto refusedFuture = refused.get_future();
    auto listeningFuture = listening.get_future();
    BYTE received = 0;
    std::thread serverThread([&] {
        if (refusedFuture.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            return;
        HANDLE server = CreateServer();
        listening.set_value();
        if (server == INVALID_HANDLE_VALUE)
            return;
        if (ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            DWORD got = 0;
            ReadFile(server, &received, 1, &got, nullptr);
        }
        CloseHandle(server);
    });
    HANDLE client = OpenClient();
    EXPECT_EQ(client, INVALID_HANDLE_VALUE) << "a pipe before its server";
    refused.set_value();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int tries = 0;
    while (client == INVALID_HANDLE_VALUE && std::chrono::steady_clock::now() < deadline) {
        Sleep(500);
        client = OpenClient();
        ++tries;
    }
    EXPECT_NE(client, INVALID_HANDLE_VALUE) << "no server after " << tries << " tries";
    EXPECT_EQ(Machine::VirtualSleptMs(), 500LL * tries);
    if (client == INVALID_HANDLE_VALUE &&
        listeningFuture.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        client = OpenClient();  // the server's one client, so that it ends
    if (client != INVALID_HANDLE_VALUE) {
        const BYTE b = 0x7E;
        DWORD written = 0;
        WriteFile(client, &b, 1, &written, nullptr);
        CloseHandle(client);
    }
    serverThread.join();
    EXPECT_EQ(received, 0x7E);
    Machine::Reset();
}

}  // namespace
