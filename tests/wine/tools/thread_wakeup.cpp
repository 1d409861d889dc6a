// Whether this machine's 32-bit processes wake waiting threads: four threads
// and the main one hand an event back and forth with short waits, then the
// main thread joins them.  A real processor passes in well under a second;
// an emulated one that loses wake-ups hangs in the join or crashes, and the
// 32-bit checks that follow could not be believed there.
#include <windows.h>

#include <cstdio>

namespace {

HANDLE g_toWorkers;
HANDLE g_toMain;

DWORD WINAPI Worker(void*) {
    for (int i = 0; i < 300; ++i) {
        WaitForSingleObject(g_toWorkers, 2);
        SetEvent(g_toMain);
    }
    return 0;
}

}  // namespace

int main() {
    g_toWorkers = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_toMain = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE threads[4];
    for (HANDLE& t : threads) t = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
    for (int i = 0; i < 600; ++i) {
        WaitForSingleObject(g_toMain, 3);
        SetEvent(g_toWorkers);
    }
    const DWORD joined = WaitForMultipleObjects(4, threads, TRUE, 60000);
    std::printf("wake-ups: %s\n", joined == WAIT_OBJECT_0 ? "4 threads joined" : "the threads did not end");
    return joined == WAIT_OBJECT_0 ? 0 : 1;
}
