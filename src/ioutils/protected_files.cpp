#include "ioutils/protected_files.h"

#include <cstring>
#include <string>

#include "ioutils/path_parts.h"
#include "settings/shell_folders.h"

namespace {

// Tested in this order, on exactly three lower-cased characters.
constexpr const char* kSystemExtensions[] = {"exe", "dll", "com", "drv", "sys", "386", "ocx", "olb", "cpl",
                                             "inf", "fon", "ttf", "nls", "tsk", "swp", "vxd", "ini", "dat"};

// Compared on their own lengths against the start of the folder.
constexpr const char* kSystemFolderPrefixes[] = {"windows",  "winnt",    "win95",    "win98",
                                                 "program files", "_resto~1", "_restore", "system~1",
                                                 "system volume information"};
constexpr const char* kExemptWords[] = {"temp", "desktop"};
constexpr char kUserRoot[] = "documents and settings";
constexpr const char* kSystemTopFolders[] = {"_resto~1", "_restore", "system~1", "system volume information"};
// The product's own text logs live in its program directory.
constexpr char kLogMark[] = "txt";

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

bool HasSystemExtension(const char* path) {
    if (path == nullptr || std::strchr(path, '.') == nullptr)
        return false;
    const std::string extension = LowerCopy(ExtensionOf(path));
    if (extension.size() != 3)
        return false;
    for (const char* system : kSystemExtensions)
        if (extension == system)
            return true;
    return false;
}

bool ExistsAndNotSystemOrHidden(const char* path) {
    if (path == nullptr)
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN)) == 0;
}

bool IsUserFolder(const char* folder) {
    if (folder == nullptr || std::strlen(folder) < 4)
        return false;
    const std::string lower = LowerCopy(folder);
    for (const char* prefix : kSystemFolderPrefixes) {
        if (lower.compare(0, std::strlen(prefix), prefix) == 0) {
            for (const char* word : kExemptWords)
                if (Contains(lower, word))
                    return true;
            return false;
        }
    }
    return lower != kUserRoot;
}

bool IsUserTopFolder(const char* path) {
    if (path == nullptr)
        return false;
    const std::string text = path;
    const std::string top = LowerCopy(text.substr(0, text.find('\\')));
    for (const char* system : kSystemTopFolders)
        if (top == system)
            return false;
    return true;
}

bool IsSafeFile(const char* path) { return !HasSystemExtension(path) && ExistsAndNotSystemOrHidden(path); }

bool IsSafeToDestroy(const char* path, DWORD* reason) {
    if (reason != nullptr)
        *reason = kNotRefused;
    const auto refuse = [reason](DWORD why) {
        if (reason != nullptr)
            *reason = why;
        return false;
    };
    if (HasSystemExtension(path) || !ExistsAndNotSystemOrHidden(path))
        return refuse(kRefusedSystemFile);

    const std::string folder = PartBefore(path, '\\');
    if (folder.size() > 3 && !IsUserFolder(folder.c_str() + 3))
        return refuse(kRefusedProtectedPlace);

    // Fails closed: with no program directory known ("UIL" absent or empty)
    // the empty text is found in every path, so only the "txt" exemption
    // lets a file go.
    const std::string program = LowerCopy(GetProgramLocation());
    const std::string lowerPath = LowerCopy(path);
    if (Contains(lowerPath, program.c_str()) && !Contains(lowerPath, kLogMark))
        return refuse(kRefusedProtectedPlace);
    return true;
}
