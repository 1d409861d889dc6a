// nmutil clean-log X: quick|deep
#include <cstdio>
#include <cstring>

#include "nmutil.h"
#include "settings/product_settings.h"

// Logs a clean of drive X started an hour ago, as the cleaning component
// does when it has finished one.
int RunCleanLog(int argc, char** argv) {
    if (argc != 2 || argv[0][0] == '\0' || (std::strcmp(argv[1], "quick") != 0 && std::strcmp(argv[1], "deep") != 0))
        return kUsageError;
    DateTimeStamp started;
    started.AddHours(-1);
    ProductSettings settings;
    if (std::strcmp(argv[1], "quick") == 0)
        settings.WriteQuickCleanLog(argv[0][0], started);
    else
        settings.WriteDeepCleanLog(argv[0][0], started);
    std::puts("logged");
    return 0;
}
