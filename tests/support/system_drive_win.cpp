#include "support/system_drive.h"

namespace nmtest {

void EnsureSystemDrive() {}  // the machine's own C: is the system drive

}  // namespace nmtest
