// nmwatch: the watcher (identity NMWatch); ends on ZOVU_STOP_WATCH.
#include "component.h"

int main(int argc, char** argv) {
    const ComponentProfile profile{NMWatch, "nmwatch.log", ZOVU_STOP_WATCH, false, 0};
    return RunComponent(profile, argc, argv);
}
