// nmutil remove [--files-only] FOLDER: the removal, then the records it left
// in the action log (NMActionLog.txt in the current folder); exit status 1
// when the removal answered false.
#include <cstdio>
#include <cstring>
#include <string>

#include "ioutils/recursive_remove.h"
#include "logs/action_log.h"
#include "nmutil.h"

namespace {

// Trees at least this large get a progress line on standard error.
constexpr unsigned long kLargeTree = 1000;

struct TreeSize {
    unsigned long files = 0;
    unsigned long folders = 0;
};

void Measure(const std::string& folder, bool recurse, TreeSize* size) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ++size->files;
        } else if (recurse && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            ++size->folders;  // removed as an entry, never entered
        } else if (recurse && std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0) {
            ++size->folders;
            Measure(folder + "\\" + found.cFileName, true, size);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The records after the header that this process's first record wrote.
void PrintRecords() {
    HANDLE file = CreateFileA(ActionLog::kFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    const std::string header = ActionLog::FormatHeader();
    if (text.compare(0, header.size(), header) == 0)
        text.erase(0, header.size());
    for (char c : text)
        if (c != '\r')
            std::putchar(c);
}

}  // namespace

int RunRemove(int argc, char** argv) {
    const bool filesOnly = argc == 2 && std::strcmp(argv[0], "--files-only") == 0;
    if (argc != (filesOnly ? 2 : 1) || argv[argc - 1][0] == '-')
        return kUsageError;
    const char* folder = argv[argc - 1];

    TreeSize size;
    Measure(folder, !filesOnly, &size);
    const bool large = size.files + size.folders >= kLargeTree;
    if (large)
        std::fprintf(stderr, "nmutil: removing %lu file(s) in %lu folder(s) below %s ...\n", size.files, size.folders,
                     folder);
    const DWORD started = GetTickCount();
    const bool removed = filesOnly ? RemoveDirectoryFiles(folder) : IO_RecursiveRM(folder);
    if (large)
        std::fprintf(stderr, "nmutil: done in %.1f s\n", (GetTickCount() - started) / 1000.0);

    std::printf("removed: %s\n", removed ? "yes" : "no");
    if (!g_ActionLog.HeaderPending())
        PrintRecords();
    return removed ? 0 : 1;
}
