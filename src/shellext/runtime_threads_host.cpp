#include "shellext/runtime_threads.h"

// On hostwin the library shares the host's own C++ runtime, which looks
// after its threads itself.
void RuntimeThreadNotice(HINSTANCE, DWORD, LPVOID) {}
