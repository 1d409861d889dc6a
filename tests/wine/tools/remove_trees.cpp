// Removes many trees in one process for the Wine suite's property check:
//   nm_remove_trees FOLDER COUNT
// calls IO_RecursiveRM on FOLDER\p0 ... FOLDER\p<COUNT-1> and prints one line
// for each, "p<i> yes|no records=<n>", n counting the action-log records that
// removal added.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ioutils/recursive_remove.h"
#include "logs/action_log.h"

namespace {

int RecordsInLog() {
    HANDLE file = CreateFileA(ActionLog::kFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    int records = 0;
    for (size_t at = text.find("\nProblem: "); at != std::string::npos; at = text.find("\nProblem: ", at + 1))
        ++records;
    return records;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: nm_remove_trees FOLDER COUNT\n", stderr);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        const std::string tree = std::string(argv[1]) + "\\p" + std::to_string(i);
        const int before = RecordsInLog();
        const bool removed = IO_RecursiveRM(tree.c_str());
        std::printf("p%d %s records=%d\n", i, removed ? "yes" : "no", RecordsInLog() - before);
    }
    return 0;
}
