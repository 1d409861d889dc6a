// Holds a file open for the Wine suite, as another program would:
//   nm_hold_file PATH SHARE SECONDS
// SHARE is "rwd" letters (read, write, delete sharing; "-" for none).  Prints
// "holding" once the file is open, then waits SECONDS and exits.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: nm_hold_file PATH SHARE SECONDS\n", stderr);
        return 2;
    }
    DWORD share = 0;
    if (std::strchr(argv[2], 'r'))
        share |= FILE_SHARE_READ;
    if (std::strchr(argv[2], 'w'))
        share |= FILE_SHARE_WRITE;
    if (std::strchr(argv[2], 'd'))
        share |= FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open: %lu\n", GetLastError());
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
    CloseHandle(file);
    return 0;
}
