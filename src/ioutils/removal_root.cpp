#include "ioutils/removal_root.h"

#include <cctype>
#include <vector>

#include "ioutils/recursive_remove.h"

namespace {

bool IsDriveName(const std::string& name) {
    return name.size() == 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

bool IsClimbing(const std::string& name) { return name.empty() || name == "." || name == ".."; }

}  // namespace

// An allow-list, not a count: a device path can name a volume's root in any
// number of names ("\\?\GLOBALROOT\Device\HarddiskVolume1").
bool IsFolderBelowRoot(const std::string& full) {
    const std::vector<std::string> parts = SplitPathNames(full);
    size_t first = 0;  // the first name below the root
    const auto part = [&](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
    if (IsDriveName(part(0))) {
        first = 1;  // X:\name
    } else if (parts.size() >= 2 && part(0).empty() && part(1).empty()) {
        if (part(2) == "?" && IsDriveName(part(3)))
            first = 4;  // \\?\X:\name
        else if (part(2) == "?" && _stricmp(part(3).c_str(), "UNC") == 0)
            first = 6;  // \\?\UNC\server\share\name
        else if (part(2) != "?" && part(2) != ".")
            first = 4;  // \\server\share\name
        else
            return false;  // every other device path
        if (!IsDriveName(part(3)))
            for (size_t i = first - 2; i < first; ++i)
                if (IsClimbing(part(i)) || part(i) == "?" || part(i).find(':') != std::string::npos)
                    return false;  // no server or no share
    } else {
        return false;
    }
    if (parts.size() <= first)
        return false;
    for (size_t i = first; i < parts.size(); ++i)
        if (IsClimbing(parts[i]) || parts[i].find(':') != std::string::npos)
            return false;  // a verbatim path keeps what would climb; a stream is no folder
    return true;
}

WideName NtPathOf(const std::string& full) {
    const std::vector<std::string> parts = SplitPathNames(full);
    std::string rest;  // the path after "\??\"
    if (!parts.empty() && IsDriveName(parts[0])) {
        rest = full;
    } else if (parts.size() >= 3 && parts[0].empty() && parts[1].empty()) {
        // "\\?\" and "\\.\" become "\??\"; "\\server\share" becomes "\??\UNC\server\share".
        // "\\?" alone names nothing below the prefix.
        const bool device = parts[2] == "?" || parts[2] == ".";
        if (device && full.size() <= 4)
            return WideName();
        rest = device ? full.substr(4) : "UNC\\" + full.substr(2);
    } else {
        return WideName();
    }
    WideName wide = WideFromAnsi(rest);
    if (wide.empty())
        return wide;
    for (WCHAR& c : wide)
        if (c == '/')
            c = '\\';
    const WCHAR prefix[] = {'\\', '?', '?', '\\'};
    return WideName(prefix, 4) + wide;
}

bool IsVerbatimPath(const std::string& path) { return path.compare(0, 4, "\\\\?\\") == 0; }

bool ResolveRemovalFolder(const char* folder, std::string* resolved) {
    if (folder == nullptr || *folder == '\0')
        return false;
    // Taken as given, as the system's own calls take it: nothing folded,
    // nothing trimmed; only the root rule applies.
    if (IsVerbatimPath(folder)) {
        if (!IsFolderBelowRoot(folder))
            return false;
        *resolved = folder;
        return true;
    }
    const DWORD needed = GetFullPathNameA(folder, 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    std::string text(needed, '\0');
    const DWORD length = GetFullPathNameA(folder, needed, &text[0], nullptr);
    if (length == 0 || length >= needed)
        return false;
    text.resize(length);
    // Only a separator of its own ends the path: a double-byte character's
    // second byte may be 0x5C.
    while (!text.empty() && LastNameStart(text) == text.size())
        text.pop_back();
    if (!IsFolderBelowRoot(text))
        return false;
    *resolved = text;
    return true;
}
