// nmutil protected PATH...
#include <cstdio>

#include "ioutils/protected_files.h"
#include "nmutil.h"

int RunProtected(int argc, char** argv) {
    if (argc == 0)
        return kUsageError;
    for (int i = 0; i < argc; ++i) {
        DWORD reason = 0;
        if (IsSafeToDestroy(argv[i], &reason))
            std::printf("%s\tyes\n", argv[i]);
        else
            std::printf("%s\tno reason %lu\n", argv[i], static_cast<unsigned long>(reason));
    }
    return 0;
}
