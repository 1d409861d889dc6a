// The folder rule of the recursive removal against a model of it: paths
// built from a root form (drive, share, their verbatim forms, and device
// forms that must never pass) and names that include ".", "..", empty names
// and both separators.  No path at or above a root's depth may be accepted,
// and the paths the model places below a root are.  Other inputs are
// taken as raw text: whatever passes must still have a name below a root.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "ioutils/recursive_remove.h"
#include "platform/win32.h"

namespace {

struct RootForm {
    const char* text;
    bool allowed;
    bool verbatim;  // "\\?\": only "\" separates names
};
constexpr RootForm kRoots[] = {
    {"C:", true, false},
    {"c:", true, false},
    {"\\\\srv\\share", true, false},
    {"//srv/share", true, false},
    {"\\\\?\\C:", true, true},
    {"\\\\?\\UNC\\srv\\share", true, true},
    {"\\\\?\\unc\\srv\\share", true, true},
    {"\\\\.\\C:", false, false},
    {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1", false, true},
    {"\\\\.\\GLOBALROOT\\??\\C:", false, false},
    {"\\\\?\\GLOBALROOT\\??\\C:", false, true},
    {"\\\\?\\GLOBALROOT\\DosDevices\\C:", false, true},
    {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}", false, true},
    {"\\\\.\\PhysicalDrive0", false, false},
    {"//./C:", false, false},
};
const char* const kNames[] = {"a", "b c", ".", "..", "", "GLOBALROOT", "??", "UNC", "x.y"};

const bool g_machine = [] {
    hostwin::Machine::DriveSetup c;
    c.letter = 'C';
    hostwin::Machine::AddDrive(c);
    return true;
}();

// Whether `names` leave the path below its root, as GetFullPathNameA folds
// them ("..", never above the root).
bool ModelBelowRoot(const RootForm& root, const std::vector<std::string>& names) {
    if (!root.allowed)
        return false;
    size_t depth = 0;
    for (const std::string& name : names) {
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
            depth -= depth > 0 ? 1 : 0;
        else
            ++depth;
    }
    return depth > 0;
}

// The part of an accepted path that names a folder below its root.
bool HasNameBelowRoot(const std::string& path) {
    std::string text = path;
    for (char& c : text)
        c = c == '/' ? '\\' : c;
    size_t rootEnd;
    if (text.size() >= 3 && text[1] == ':')
        rootEnd = 2;
    else if (text.compare(0, 4, "\\\\?\\") == 0 && text.size() >= 6 && text[5] == ':')
        rootEnd = 6;
    else if (text.compare(0, 8, "\\\\?\\UNC\\") == 0 || text.compare(0, 8, "\\\\?\\unc\\") == 0)
        rootEnd = text.find('\\', text.find('\\', 8) + 1);
    else if (text.compare(0, 2, "\\\\") == 0 && text.compare(2, 2, "?\\") != 0 && text.compare(2, 2, ".\\") != 0)
        rootEnd = text.find('\\', text.find('\\', 2) + 1);
    else
        return false;
    return rootEnd != std::string::npos && rootEnd + 1 < text.size() && text[rootEnd] == '\\';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)g_machine;
    if (size == 0)
        return 0;
    std::string resolved;
    if ((data[0] & 0x80) != 0) {  // raw text
        const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
        if (ResolveRemovalFolder(path.c_str(), &resolved) && !HasNameBelowRoot(resolved))
            __builtin_trap();
        return 0;
    }
    const RootForm& root = kRoots[data[0] % (sizeof kRoots / sizeof kRoots[0])];
    std::string path = root.text;
    std::vector<std::string> names;
    bool folded = false;  // names that a verbatim path may keep as written
    for (size_t i = 1; i < size; ++i) {
        const std::string name = kNames[data[i] % (sizeof kNames / sizeof kNames[0])];
        names.push_back(name);
        folded = folded || name.empty() || name == "." || name == "..";
        path += ((data[i] & 0x80) && !root.verbatim ? "/" : "\\") + name;
    }
    const bool accepted = ResolveRemovalFolder(path.c_str(), &resolved);
    const bool below = ModelBelowRoot(root, names);
    // Never accepted at or above a root; and, where the folding is certain,
    // accepted whenever it lies below one.  (A verbatim path with "." or ".."
    // may be refused outright: the system keeps such names as written.)
    if ((accepted && !below) || (accepted != below && !(root.verbatim && folded)))
        __builtin_trap();
    return 0;
}
