#include "ioutils/ansi_walk.h"

#include <cstring>
#include <vector>

#include "ioutils/file_handle.h"
#include "ioutils/removal_records.h"

namespace removal {

namespace {

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// The name to reach an entry by: its own, or its short name where the code
// page cannot show its own ("?" stands for each such character, and would be
// taken as a wildcard); "" when neither serves.
std::string ReachableName(const WIN32_FIND_DATAA& found) {
    if (std::strpbrk(found.cFileName, "?*") == nullptr)
        return found.cFileName;
    return found.cAlternateFileName;
}

bool EmptyInPlace(const std::string& path) {
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.valid() || !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    return SetEndOfFile(file.get()) != FALSE;
}

bool InUse(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// One folder being searched; its search stays open while a subfolder is
// walked.
struct Frame {
    std::string path;
    HANDLE search = INVALID_HANDLE_VALUE;
    bool result = true;
};

}  // namespace

DWORD AnsiDeleteFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), 0);  // read-only, hidden and system files go too
    if (DeleteFileA(path.c_str()))
        return 1;
    if (!InUse(GetLastError()))
        return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? 1 : 0;
    for (int retry = 0; retry < kRetries; ++retry) {
        Sleep(kRetryWaitMs);
        if (DeleteFileA(path.c_str()))
            return 1;
        if (!InUse(GetLastError()))
            break;
    }
    return EmptyInPlace(path) ? 1 : 0;
}

bool AnsiRemoveContents(const std::string& folder, Depth depth) {
    std::vector<Frame> stack(1);
    stack[0].path = folder;
    bool rootResult = true;
    while (!stack.empty()) {
        Frame& top = stack.back();
        WIN32_FIND_DATAA found;
        const bool more = top.search == INVALID_HANDLE_VALUE
                              ? (top.search = FindFirstFileA((top.path + "\\*.*").c_str(), &found)) !=
                                    INVALID_HANDLE_VALUE
                              : FindNextFileA(top.search, &found) != FALSE;
        if (!more) {
            if (top.search != INVALID_HANDLE_VALUE)
                FindClose(top.search);
            Frame done = std::move(top);
            stack.pop_back();
            if (stack.empty()) {
                rootResult = done.result;
                break;
            }
            if (!RemoveDirectoryA(done.path.c_str())) {
                LogFailure(done.path, kFolderProblem);
                done.result = false;
            }
            stack.back().result = stack.back().result && done.result;
            continue;
        }
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder ? depth == Depth::kFilesOnly || IsDotEntry(found.cFileName)
                     : _stricmp(found.cFileName, kKeptFile) == 0)
            continue;
        const std::string name = ReachableName(found);
        if (name.empty()) {  // a name that cannot be given back to the system
            LogFailure(top.path + "\\" + found.cFileName, isFolder ? kFolderProblem : kFileProblem);
            top.result = false;
            continue;
        }
        const std::string child = top.path + "\\" + name;
        if (!isFolder) {
            if (AnsiDeleteFile(child) == 0) {
                LogFailure(top.path + "\\" + found.cFileName, kFileProblem);
                top.result = false;
            }
            continue;
        }
        SetFileAttributesA(child.c_str(), 0);
        Frame next;
        next.path = child;
        stack.push_back(std::move(next));  // `top` is no longer valid
    }
    return rootResult;
}

}  // namespace removal
