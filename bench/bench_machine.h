// The machine the benchmark runs on: three fixed drives, C: (the system
// drive), D: and G:.  The host makes them in hostwin; under Wine scripts/bench
// maps D: and G: as hard disks in the prefix.
#pragma once

namespace nmbench {

constexpr char kFixedDrives[] = "CDG";

void PrepareMachine();

}  // namespace nmbench
