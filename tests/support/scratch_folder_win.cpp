// Windows' scratch folders lie in the user's temporary folder.
#include "support/scratch_folder.h"

namespace nmtest {

std::string ScratchParent() {
    char temp[MAX_PATH] = {};
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    return n > 0 && n < MAX_PATH ? std::string(temp) : std::string("C:\\");
}

}  // namespace nmtest
