// What CPUID answers on the processors either side of the DLL's floor:
// leaf 0's highest leaf, leaf 1's signature (family, model, stepping) and
// feature bits (EDX), as those processors report them.
#pragma once

#include "shellext/processor_floor.h"

namespace nmtest::processors {

// Below the floor.
constexpr CpuidAnswers k486WithoutCpuid{};  // the ID bit does not toggle
constexpr CpuidAnswers k486Dx4{true, 1, 0x0480, 0x00000003};
constexpr CpuidAnswers kPentium{true, 1, 0x052c, 0x000003bf};
constexpr CpuidAnswers kPentiumMmx{true, 1, 0x0543, 0x008001bf};
constexpr CpuidAnswers kK6_2{true, 1, 0x058c, 0x008021bf};
constexpr CpuidAnswers kC3Samuel2{true, 1, 0x0673, 0x00803035};  // family 6, no CMOV
// At the floor and above.
constexpr CpuidAnswers kPentiumPro{true, 2, 0x0619, 0x0000fbff};
constexpr CpuidAnswers kPentiumII{true, 2, 0x0652, 0x0183fbff};
constexpr CpuidAnswers kAthlon{true, 1, 0x0622, 0x0183f9ff};
constexpr CpuidAnswers kAthlon64{true, 1, 0x0f48, 0x078bfbff};
constexpr CpuidAnswers kCore2{true, 10, 0x06f6, 0xbfebfbff};

}  // namespace nmtest::processors
