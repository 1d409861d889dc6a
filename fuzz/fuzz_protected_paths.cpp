// IsSafeToDestroy and the path parts over arbitrary paths, on a machine with
// a C: drive and the product installed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "hostwin/machine.h"
#include "ioutils/path_parts.h"
#include "ioutils/protected_files.h"
#include "platform/win32.h"

namespace {

const bool g_machine = [] {
    hostwin::Machine::DriveSetup c;
    c.letter = 'C';
    hostwin::Machine::AddDrive(c);
    CreateDirectoryA("C:\\data", nullptr);
    HANDLE file = CreateFileA("C:\\data\\a.doc", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    hostwin::Machine::ImportRegistry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\Greyfell\\VI4\\Settings]\r\n\"UIL\"=\"C:\\\\Nullmark\"\r\n");
    return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)g_machine;
    const std::string path(reinterpret_cast<const char*>(data), size);  // cut at the first NUL below
    const char* p = path.c_str();
    DWORD reason = 99;
    const bool safe = IsSafeToDestroy(p, &reason);
    if (safe != (reason == 0) || reason > 2)
        __builtin_trap();
    if (safe && (HasSystemExtension(p) || !ExistsAndNotSystemOrHidden(p)))
        __builtin_trap();
    IsUserTopFolder(p);
    const std::string before = PartBefore(p, '\\'), folder = DirectoryOf(p), name = FileNameOf(p);
    if (ExtensionOf(p).size() > path.size() || name.size() > path.size() || before.size() > path.size())
        __builtin_trap();
    if (!folder.empty() && folder.size() > before.size() + 1)
        __builtin_trap();
    return 0;
}
