// nmutil drives, nmutil size.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ioutils/drive_list.h"
#include "nmutil.h"

int RunDrives(int argc, char** /*argv*/) {
    if (argc != 0)
        return kUsageError;
    std::vector<std::string> texts;
    int kinds[26] = {};
    ListDrives(texts, kinds);
    for (size_t i = 0; i < texts.size(); ++i)
        std::printf("%s\t%d\n", texts[i].c_str(), kinds[i]);
    return 0;
}

int RunSize(int argc, char** argv) {
    if (argc == 0)
        return kUsageError;
    std::vector<LONGLONG> counts;
    for (int i = 0; i < argc; ++i) {
        char* end = nullptr;
        errno = 0;
        const long long count = std::strtoll(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || errno == ERANGE)
            return kUsageError;
        counts.push_back(count);
    }
    for (LONGLONG count : counts) {
        char text[kByteSizeTextSize];
        FormatByteSize(text, count);
        std::puts(text);
    }
    return 0;
}
