// nmzap4: the VUZ program (identity NMVuz); takes one request then ends (--timeout, default 30 s).
#include "component.h"

int main(int argc, char** argv) {
    const ComponentProfile profile{NMVuz, "nmzap4.log", ZOVU_DEFAULT_MESSAGE, true, 30};
    return RunComponent(profile, argc, argv);
}
