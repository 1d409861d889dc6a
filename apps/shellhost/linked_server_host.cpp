// Offers the linked library to hostwin's loader as "NMShell402.dll", with the
// DLL's two exports and its entry function, before main runs.
#include "hostwin/machine.h"
#include "shellext/exports.h"

namespace {

const bool g_registered = [] {
    hostwin::Machine::RegisterModule(
        "NMShell402.dll",
        {{"DllCanUnloadNow", &DllCanUnloadNow}, {"DllGetClassObject", &DllGetClassObject}},
        &DllMain);
    return true;
}();

}  // namespace
