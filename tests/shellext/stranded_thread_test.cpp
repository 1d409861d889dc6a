// A command's receiving thread that Close could not wait for must keep the
// library loaded until it ends, and must end by itself.  The thread is held
// the way it happens in practice: its start waits (on Windows for the loader
// lock) until the command has finished and Close has waited its time.  The
// shell releases everything and unloads the library while the thread still
// waits; the library stays.  Once the thread runs, it finds that its command
// is gone and ends without any client, and the library goes with it.
#include <gtest/gtest.h>

#include "messaging/messaging_support.h"
#include "shellhost/drop_data_object.h"
#include "shellhost/server_module.h"
#include "support/thread_hold.h"

namespace {

constexpr char kLibrary[] = "NMShell402.dll";

TEST(StrandedThreadTest, AThreadCloseCouldNotWaitForKeepsTheLibraryAndEndsByItself) {
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
        const DWORD started = GetTickCount();
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
        EXPECT_LT(GetTickCount() - started, 5000u) << "Close waits a bounded time for a thread that cannot run";
        init->Release();
        EXPECT_EQ(menu->Release(), 0u);
        EXPECT_EQ(server.CanUnloadNow(), S_OK);
        server.Unload();  // the shell's FreeLibrary once DllCanUnloadNow said S_OK
        EXPECT_NE(GetModuleHandleA(kLibrary), nullptr) << "unloaded under a thread that has yet to run";
    }
    EXPECT_EQ(tray.Join(), (std::vector<BYTE>{0x04, 0x03, 0x05, 0x00, 0x00, 0x00, 0x00}));

    // No client, no close request: the thread ends as soon as it runs.
    EXPECT_TRUE(nmtest::WaitForModuleUnload(kLibrary, 10000));
}

}  // namespace
