// A receiving thread that Close could not stop must keep the library loaded
// until it ends.  The thread is stranded the way it happens in practice: its
// start is held back (on Windows by the loader lock) until the command's Close
// has found no pipe to send the close byte to.  Then the shell releases
// everything and unloads the library; the next client of the pipe wakes the
// thread, which must still have its code, and the library goes only after it.
// Before that, the library is loaded again and a second endpoint made and
// destroyed while the stranded thread serves a connection of the test's: it
// must neither be stopped by that endpoint nor lose what it uses (its
// identity, its semaphore) when the endpoint goes; a whole packet then
// reaches it, and it serves its pipe again.
#include <gtest/gtest.h>

#include "messaging/messaging_support.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/server_module.h"
#include "support/thread_hold.h"

namespace {

constexpr char kLibrary[] = "NMShell402.dll";

// Opens a component's pipe as a sender does, retried while its receiving
// thread makes the instance (10 s at most).
HANDLE OpenPipe(BYTE id) {
    for (int tries = 0; tries < 10000; ++tries) {
        HANDLE pipe = CreateFileA(PipeName(id).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        Sleep(1);
    }
    return INVALID_HANDLE_VALUE;
}

TEST(StrandedThreadTest, TheLibraryStaysLoadedUntilTheStrandedThreadEnds) {
    ServerModule server;
    std::string error;
    ASSERT_TRUE(server.Load(DefaultServerPath(), &error)) << error;

    IContextMenu* menu = nullptr;
    ASSERT_EQ(server.CreateExtension(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    IShellExtInit* init = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    DropDataObject* data = DropDataObject::Create({"C:\\a.txt"});
    ASSERT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
    data->Release();

    // The tray's pipe waits before the hold, which would hold its thread too.
    nmtest::RawPipeServer tray(NMTray);
    ASSERT_TRUE(tray.created());
    {
        nmtest::NewThreadHold hold;
        ASSERT_TRUE(hold.held());
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(4);  // Configuration
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
        init->Release();
        EXPECT_EQ(menu->Release(), 0u);
        EXPECT_EQ(server.CanUnloadNow(), S_OK);
    }
    EXPECT_EQ(tray.Join(), (std::vector<BYTE>{0x04, 0x03, 0x05, 0x00, 0x00, 0x00, 0x00}));

    server.Unload();  // the shell's FreeLibrary once DllCanUnloadNow said S_OK
    EXPECT_NE(GetModuleHandleA(kLibrary), nullptr) << "unloaded under a live thread";

    // A client of the stranded thread's pipe, held: the instance stays busy,
    // so the next endpoint can neither make its own nor send its close byte.
    HANDLE client = OpenPipe(NMShellExt);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    {
        ServerModule again;
        ASSERT_TRUE(again.Load(DefaultServerPath(), &error)) << error;
        IContextMenu* second = nullptr;
        ASSERT_EQ(again.CreateExtension(IID_IContextMenu, reinterpret_cast<void**>(&second)), S_OK);
        IShellExtInit* secondInit = nullptr;
        ASSERT_EQ(second->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&secondInit)), S_OK);
        DropDataObject* more = DropDataObject::Create({"C:\\b.txt"});
        ASSERT_EQ(secondInit->Initialize(nullptr, more, nullptr), S_OK);
        more->Release();
        nmtest::RawPipeServer tray2(NMTray);
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(4);
        EXPECT_EQ(second->InvokeCommand(&info), S_OK);
        EXPECT_EQ(tray2.Join(), (std::vector<BYTE>{0x04, 0x03, 0x05, 0x00, 0x00, 0x00, 0x00}));
        secondInit->Release();
        EXPECT_EQ(second->Release(), 0u);
        again.Unload();
    }
    EXPECT_NE(GetModuleHandleA(kLibrary), nullptr) << "the stranded thread still holds the library";

    // A whole packet to the stranded thread: taken in, and the pipe made anew.
    const std::vector<BYTE> packet{0x04, 0x04, 0x0A, 0x00, 0x00, 0x00, 0x03, 'X', 0x00, 0x00};
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(client, packet.data(), static_cast<DWORD>(packet.size()), &written, nullptr));
    EXPECT_EQ(written, packet.size());
    FlushFileBuffers(client);  // returns once the thread has read it
    CloseHandle(client);

    // The thread wakes in code that must still be there, reads the close byte
    // and ends; with it goes the last reference on the library.
    EXPECT_TRUE(nmtest::WriteToPipe(NMShellExt, {TransferData::kCloseByte}));
    EXPECT_TRUE(nmtest::WaitForModuleUnload(kLibrary, 10000));

    // On the host the library is linked into this program, and so is its
    // mailbox: the packet is there, and goes with it (under Windows the
    // mailbox left with the library).
    if (TransferData::IsPacketWaiting()) {
        TransferData endpoint;
        TransferPacket taken{};
        ASSERT_TRUE(endpoint.GetPacket(&taken, 1));
        EXPECT_EQ(taken.operation, 0x0A);
        EXPECT_EQ(taken.dataLength, 3u);
        TransferData::FreePacketData(&taken);
    }
}

}  // namespace
