// The system drive that the menu tests expect: C: a fixed disk that holds
// the system directory.  Windows and Wine have it; on the host it is made
// whenever a test has reset the machine.
#pragma once

namespace nmtest {

void EnsureSystemDrive();

}  // namespace nmtest
