// nmtray: the tray component (identity NMTray); ends on ZOVU_STOP_TRAY.
#include "component.h"

int main(int argc, char** argv) {
    const ComponentProfile profile{NMTray, "nmtray.log", ZOVU_STOP_TRAY, false, 0};
    return RunComponent(profile, argc, argv);
}
