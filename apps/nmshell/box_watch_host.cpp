// On the simulated machine every box is reported to the control panel and
// answered at once; printing it is all that is left to do.
#include "box_watch.h"
#include "hostwin/machine.h"

BoxWatch::BoxWatch(Answer) {
    hostwin::Machine::OnMessageBox(
        [](const hostwin::MessageBoxRecord& box) { PrintBox(box.caption.c_str(), box.text.c_str()); });
}

BoxWatch::~BoxWatch() {
    hostwin::Machine::OnMessageBox(nullptr);
}
