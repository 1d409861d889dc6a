// Whether CPUID's answers meet the floor.  Built for the 386 in the i686
// DLL: the entry calls it on exactly the processors the floor leaves out.
#include "shellext/processor_floor.h"

bool MeetsProcessorFloor(const CpuidAnswers& answers) {
    // Leaf 1 is read only where leaf 0 reports it; otherwise its fields are
    // not answers at all.
    if (!answers.cpuid || answers.highestLeaf < 1)
        return false;
    // Decided by the feature bits, never by the family: some family-6
    // processors lack CMOV.
    constexpr uint32_t kNeeded = kFeatureFpu | kFeatureCmov;
    return (answers.features & kNeeded) == kNeeded;
}
