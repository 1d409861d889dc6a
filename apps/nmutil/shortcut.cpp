// nmutil shortcut FILE...
#include <cstdio>

#include "ioutils/shortcut_target.h"
#include "nmutil.h"

int RunShortcut(int argc, char** argv) {
    if (argc == 0)
        return kUsageError;
    for (int i = 0; i < argc; ++i)
        std::printf("%s\t%s\n", argv[i], ShortcutTarget(argv[i]).c_str());
    return 0;
}
