#include "bench_machine.h"

namespace nmbench {

void PrepareMachine() {}  // the prefix's drives, set up by scripts/bench

}  // namespace nmbench
