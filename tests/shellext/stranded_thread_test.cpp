// A receiving thread that Close could not stop must keep the library loaded
// until it ends.  The thread is stranded the way it happens in practice: its
// start is held back (on Windows by the loader lock) until the command's Close
// has found no pipe to send the close byte to.  Then the shell releases
// everything and unloads the library; the next client of the pipe wakes the
// thread, which must still have its code, and the library goes only after it.
#include <gtest/gtest.h>

#include "messaging/messaging_support.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/server_module.h"
#include "support/thread_hold.h"

namespace {

constexpr char kLibrary[] = "NMShell402.dll";

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

    // The thread wakes in code that must still be there, reads the close byte
    // and ends; with it goes the last reference on the library.
    EXPECT_TRUE(nmtest::WriteToPipe(NMShellExt, {TransferData::kCloseByte}));
    EXPECT_TRUE(nmtest::WaitForModuleUnload(kLibrary, 10000));
}

}  // namespace
