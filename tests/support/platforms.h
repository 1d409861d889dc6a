// The systems the product runs on, for tests that must tell the two families
// apart.  Windows 95 and NT 4.0 share the version number 4: only the
// platform identifier separates them.
#pragma once

#include "hostwin/machine_state.h"

namespace nmtest {

struct PlatformCase {
    const char* name;
    hostwin::OsVersion version;
    bool win9x;
};

inline const PlatformCase kPlatforms[] = {
    {"Windows 95", {1, 4, 0, 950, ""}, true},
    {"Windows 98", {1, 4, 10, 0x040A08AE, ""}, true},
    {"Windows Me", {1, 4, 90, 3000, ""}, true},
    {"Windows NT 4.0", {2, 4, 0, 1381, "Service Pack 6"}, false},
    {"Windows 2000", {2, 5, 0, 2195, ""}, false},
    {"Windows XP", {2, 5, 1, 2600, ""}, false},
};

}  // namespace nmtest
