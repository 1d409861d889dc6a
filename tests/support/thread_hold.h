// Holds back the work of threads started while it lives, the way a thread
// waits on Windows while another one holds the loader lock: the thread exists,
// but its start routine does not run until the hold ends.  Also waits for a
// module to leave the process.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

class NewThreadHold {
public:
    NewThreadHold();
    ~NewThreadHold() { Release(); }
    NewThreadHold(const NewThreadHold&) = delete;
    NewThreadHold& operator=(const NewThreadHold&) = delete;

    bool held() const { return held_; }
    void Release();

private:
    bool held_ = false;
    [[maybe_unused]] ULONG_PTR cookie_ = 0;  // the loader lock's, on Windows
};

// True once `module` is no longer loaded, false after `milliseconds`.
bool WaitForModuleUnload(const std::string& module, DWORD milliseconds);

}  // namespace nmtest
