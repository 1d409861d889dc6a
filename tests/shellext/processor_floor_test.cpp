#include "shellext/processor_floor.h"

#include <gtest/gtest.h>

#include "support/processors.h"

namespace {

using namespace nmtest::processors;

struct FloorCase {
    const char* processor;
    CpuidAnswers answers;
    bool meets;
};

constexpr FloorCase kFloorCases[] = {
    {"486 without CPUID", k486WithoutCpuid, false},
    {"486DX4 (family 4)", k486Dx4, false},
    {"Pentium (family 5)", kPentium, false},
    {"Pentium MMX (family 5)", kPentiumMmx, false},
    {"K6-2 (family 5)", kK6_2, false},
    {"C3 Samuel 2 (family 6, no CMOV)", kC3Samuel2, false},
    {"Pentium Pro (family 6)", kPentiumPro, true},
    {"Pentium II (family 6)", kPentiumII, true},
    {"Athlon (family 6)", kAthlon, true},
    {"Athlon 64 (family 15, x86-64)", kAthlon64, true},
    {"Core 2 (family 6, x86-64)", kCore2, true},
    // FCOMI is an x87 instruction: CMOV alone is not enough.
    {"CMOV without an FPU", {true, 1, 0x0600, kFeatureCmov}, false},
    // Leaf 1 not reported: whatever its fields hold is no answer.
    {"highest leaf 0", {true, 0, 0x0600, kFeatureFpu | kFeatureCmov}, false},
    {"no CPUID", {false, 1, 0x0600, kFeatureFpu | kFeatureCmov}, false},
};

TEST(ProcessorFloorTest, OnlyProcessorsWithCmovAndAnFpuMeetIt) {
    for (const auto& c : kFloorCases) {
        SCOPED_TRACE(c.processor);
        EXPECT_EQ(MeetsProcessorFloor(c.answers), c.meets);
    }
}

// The probe on the processor the tests run on, which runs the DLL: the same
// code the DLL's entry runs, in whichever bitness this build is.
TEST(ProcessorFloorTest, TheProbeFindsThisProcessorAtOrAboveTheFloor) {
    const CpuidAnswers answers = AskProcessor();
    EXPECT_TRUE(answers.cpuid);
    EXPECT_GE(answers.highestLeaf, 1u);
    EXPECT_GE((answers.signature >> 8) & 0xf, 6u) << std::hex << answers.signature;
    EXPECT_EQ(answers.features & (kFeatureFpu | kFeatureCmov), kFeatureFpu | kFeatureCmov) << std::hex << answers.features;
    EXPECT_TRUE(ThisProcessorMeetsFloor());
}

}  // namespace
