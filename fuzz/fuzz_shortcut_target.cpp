// ShortcutTarget over arbitrary files of up to 8 KiB: the sizes inside may
// point anywhere, and nothing outside the first 4,096 bytes may be read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "hostwin/machine.h"
#include "ioutils/shortcut_target.h"
#include "platform/win32.h"

namespace {

constexpr size_t kMaxFile = 8192;

const bool g_machine = [] {
    hostwin::Machine::DriveSetup t;
    t.letter = 'T';
    hostwin::Machine::AddDrive(t);
    return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)g_machine;
    if (size > kMaxFile)
        size = kMaxFile;
    HANDLE file = CreateFileA("T:\\f.lnk", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    const std::string target = ShortcutTarget("T:\\f.lnk");
    if (target.size() > 2 * kShortcutReadSize)
        __builtin_trap();  // two strings of the buffer and a separator at most
    return 0;
}
