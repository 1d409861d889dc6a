// The machine the benchmark runs on: three fixed drives, C: (the system
// drive), D: and G:.  The host makes them in hostwin; under Wine scripts/bench
// maps D: and G: as hard disks in the prefix.
#pragma once

#include <string>

namespace nmbench {

constexpr char kFixedDrives[] = "CDG";

void PrepareMachine();

// Where the file benchmarks build their trees: the root of D:.
constexpr char kScratchFolder[] = "D:";
// The platform's own recursive delete of a folder and everything in it, its
// name as a reader knows it, and the least speed against it that a removal
// of ours should reach.
bool RemoveTreeNatively(const std::string& folder);
extern const char kNativeRemoval[];
extern const double kRemovalGoal;
// A chain of `levels` folders below folder, each named by `nameLength`
// characters and holding one small file, made with the calls that are not
// limited to 260 characters; its paths pass that length far.
bool MakeDeepTree(const std::string& folder, int levels, int nameLength);

}  // namespace nmbench
