// A message box that this process shows and nobody answers until the test
// says so: a person away from the screen.  On the host the box's thread waits
// in hostwin's box, and the retries before it run on virtual time; on Windows
// the box is a real dialog, found among this process's windows and closed
// with OK.
#pragma once

#include <string>

#include "platform/win32.h"

namespace nmtest {

class UnansweredBox {
public:
    UnansweredBox();
    ~UnansweredBox();  // answers a box still open
    UnansweredBox(const UnansweredBox&) = delete;
    UnansweredBox& operator=(const UnansweredBox&) = delete;

    // True once a box with `text` is up, false when none came within
    // `milliseconds`.
    bool WaitShown(const std::string& text, DWORD milliseconds);
    void Answer();
};

}  // namespace nmtest
