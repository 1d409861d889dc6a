#include "ioutils/shortcut_target.h"

#include <cstring>

#include "platform/win32.h"

namespace {

constexpr unsigned kHeaderSize = 76;        // the first field of every shortcut
constexpr unsigned kIdListSizeOffset = 76;  // 16 bits, then the list
constexpr unsigned kIdListStart = 78;
constexpr unsigned char kNetworkMark = 2;   // high half of provider type 0x00020000
constexpr char kShortcutMark[] = ".lnk";

unsigned ReadU16(const unsigned char* p) { return p[0] | (p[1] << 8); }
unsigned long ReadU32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

// The NUL-terminated string at `at`, cut at the end of what was read.
std::string StringAt(const unsigned char (&bytes)[kShortcutReadSize], long long at) {
    if (at < 0 || at >= kShortcutReadSize)
        return std::string();
    const auto* start = reinterpret_cast<const char*>(bytes + at);
    return std::string(start, strnlen(start, kShortcutReadSize - static_cast<size_t>(at)));
}

}  // namespace

std::string ShortcutTargetFromBytes(const unsigned char (&bytes)[kShortcutReadSize]) {
    if (ReadU32(bytes) != kHeaderSize)
        return std::string();
    const long long blockStart = kIdListStart + ReadU16(bytes + kIdListSizeOffset);
    if (blockStart + 4 > kShortcutReadSize)
        return std::string();
    const long long blockSize = ReadU32(bytes + blockStart);
    // From the link-information block's third-last byte backwards.
    long long cursor = blockStart + blockSize - 3;
    if (cursor < 0 || cursor >= kShortcutReadSize)
        return std::string();

    std::string path;
    bool zeroAbove = false;
    int zeros = 0;
    for (; cursor >= 0; --cursor) {
        const unsigned char b = bytes[cursor];
        if (b == 0 && zeroAbove)
            return path;  // two zero bytes end the local path
        if (b == 0) {
            zeroAbove = true;
            if (zeros == 0)
                path = StringAt(bytes, cursor + 1);
            ++zeros;
        } else if (b == kNetworkMark && zeroAbove) {
            // A network target: the share name, then the path suffix.
            if (path.find(':') != std::string::npos)
                path.clear();
            return StringAt(bytes, cursor + 2) + "\\" + path;
        } else {
            zeroAbove = false;
        }
    }
    return std::string();
}

std::string ShortcutTarget(const char* path) {
    unsigned char bytes[kShortcutReadSize] = {};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD read = 0;
        ReadFile(file, bytes, kShortcutReadSize, &read, nullptr);
        CloseHandle(file);
    }
    if (path == nullptr || std::strstr(path, kShortcutMark) == nullptr)
        return std::string();
    return ShortcutTargetFromBytes(bytes);
}
