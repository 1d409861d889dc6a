#include "logs/watch_log.h"

#include "platform/win32.h"

namespace {

constexpr char kFileName[] = "nmwatchlog.txt";

}  // namespace

bool AppendWatchLog(std::string text, std::string folder) {
    if (folder.empty())
        return false;
    if (folder.back() != '\\')
        folder += '\\';
    folder += kFileName;
    text += "\r\n";

    HANDLE file = CreateFileA(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    // A line that did not reach the file whole is not reported as written.
    return ok && written == text.size();
}
