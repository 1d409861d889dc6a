// GetFullPathNameA: a path made whole by text alone, as Windows does it.  No
// name is looked up: "/" becomes "\", runs of separators fold, "." and ".."
// go (".." never above a drive's root or a share), a name loses one trailing
// dot and the last name every trailing dot and blank.  Relative paths start
// from the current directory; "X:name" from it too when X: is the current
// drive, else from X:'s root.  "\\server\share" is a root of its own;
// "\\.\" and "\\?\" paths keep their first name ("\\.\C:") as theirs.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "ansi_names.h"
#include "disk_files.h"
#include "drives_state.h"
#include "errors.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(hostwin::detail::FindSeparator(text, start), text.size());
        names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// The names after a root, folded; *trailing when the result ends in "\".
std::string Fold(const std::string& rest, bool* trailing) {
    const std::vector<std::string> given = Split(rest);
    std::vector<std::string> names;
    *trailing = hostwin::detail::EndsWithSeparator(rest);
    for (size_t i = 0; i < given.size(); ++i) {
        std::string name = given[i];
        const bool last = i + 1 == given.size();
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        if (last) {
            while (!name.empty() && (name.back() == '.' || name.back() == ' '))
                name.pop_back();
            if (name.empty()) {
                *trailing = true;  // "C:\a\..." is "C:\a\"
                continue;
            }
        } else if (name.back() == '.') {
            name.pop_back();
        }
        names.push_back(name);
    }
    std::string text;
    for (const std::string& name : names)
        text += "\\" + name;
    return text;
}

std::string FullPath(const std::string& given) {
    std::string path = given;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    bool trailing = false;
    if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && (path[2] == '.' || path[2] == '?') &&
        path[3] == '\\') {
        const size_t end = path.find('\\', 4);
        const std::string root = path.substr(0, end);
        const std::string names = end == std::string::npos ? "" : Fold(path.substr(end), &trailing);
        return root + names + (trailing && !names.empty() ? "\\" : "");
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t end = path.find('\\', 2);  // after the server
        if (end != std::string::npos)
            end = path.find('\\', end + 1);  // after the share
        if (end == std::string::npos)
            return path;
        const std::string names = Fold(path.substr(end), &trailing);
        return path.substr(0, end) + names + (trailing || names.empty() ? "\\" : "");
    }
    const std::string cwd = hostwin::detail::CurrentDirectory();
    std::string drive, rest;
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 2);
        const bool current = std::toupper(static_cast<unsigned char>(cwd[0])) ==
                             std::toupper(static_cast<unsigned char>(path[0]));
        rest = path.size() > 2 && IsSeparator(path[2]) ? path.substr(2)
                                                       : (current ? cwd.substr(2) : std::string()) + "\\" + path.substr(2);
    } else if (!path.empty() && IsSeparator(path[0])) {
        drive = cwd.substr(0, 2);
        rest = path;
    } else {
        drive = cwd.substr(0, 2);
        rest = cwd.substr(2) + "\\" + path;
    }
    const std::string names = Fold(rest, &trailing);
    return drive + names + (trailing || names.empty() ? "\\" : "");
}

}  // namespace

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(lpFileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME);
        return 0;
    }
    const std::string full = FullPath(lpFileName);
    if (full.size() + 1 > nBufferLength || lpBuffer == nullptr)
        return static_cast<DWORD>(full.size() + 1);
    std::memcpy(lpBuffer, full.c_str(), full.size() + 1);
    if (lpFilePart != nullptr) {
        // The last name, unless the path ends in "\" or is a bare "\\server".
        const size_t slash = full.find_last_of('\\');
        const bool named = slash + 1 < full.size() && slash > 1;
        *lpFilePart = named ? lpBuffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}
