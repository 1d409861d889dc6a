// Named pipes of a shared machine: they live in its folder, so that another
// process reaches them, and an instance left by an ended process is no
// obstacle.  Also: a retry loop on virtual time still gives a server thread
// the chance to come up.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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

TEST(VirtualSleepPipes, ARetryLoopStillReachesAServerThatComesUpAMomentLater) {
    Machine::Reset();
    Machine::UseVirtualSleep(true);
    std::thread serverThread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        HANDLE server = CreateServer();
        if (!ConnectNamedPipe(server, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            return;
        BYTE b = 0;
        DWORD got = 0;
        ReadFile(server, &b, 1, &got, nullptr);
        CloseHandle(server);
    });
    HANDLE client = OpenClient();
    for (int tries = 9; client == INVALID_HANDLE_VALUE && tries > 0; --tries) {
        Sleep(500);
        client = OpenClient();
    }
    EXPECT_NE(client, INVALID_HANDLE_VALUE) << "ten attempts were over before the server thread ran";
    EXPECT_GT(Machine::VirtualSleptMs(), 0);
    for (int i = 0; i < 500 && client == INVALID_HANDLE_VALUE; ++i) {  // release the server thread all the same
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        client = OpenClient();
    }
    if (client != INVALID_HANDLE_VALUE) {
        const BYTE b = 0x7E;
        DWORD written = 0;
        WriteFile(client, &b, 1, &written, nullptr);
        CloseHandle(client);
    }
    serverThread.join();
    Machine::Reset();
}

}  // namespace
