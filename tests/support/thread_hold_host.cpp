#include "support/thread_hold.h"

#include "hostwin/machine.h"

namespace nmtest {

NewThreadHold::NewThreadHold() {
    hostwin::Machine::HoldNewThreads(true);
    held_ = true;
}

void NewThreadHold::Release() {
    if (held_)
        hostwin::Machine::HoldNewThreads(false);
    held_ = false;
}

bool WaitForModuleUnload(const std::string& module, DWORD milliseconds) {
    return hostwin::Machine::WaitForModuleUnload(module, milliseconds);
}

}  // namespace nmtest
