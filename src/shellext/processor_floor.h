// The oldest processor the DLL runs on, and how the DLL's entry tells.
//
// The DLL's code, the statically linked C and C++ runtimes included, uses
// CMOV and FCOMI: a processor without them faults in the host's process at
// the first one.  The i686 DLL's entry (processor_guard.cpp) asks the
// processor first and, below the floor, refuses to load, so the shell shows
// no menu instead.  Every processor that runs x86-64 code meets the floor.
#pragma once

#include <cstdint>

// What CPUID answered, or that the processor has no CPUID at all.
struct CpuidAnswers {
    bool cpuid = false;          // the EFLAGS ID bit can be toggled
    uint32_t highestLeaf = 0;    // leaf 0, EAX
    uint32_t signature = 0;      // leaf 1, EAX: stepping, model, family
    uint32_t features = 0;       // leaf 1, EDX
};

constexpr uint32_t kFeatureFpu = 1u << 0;    // an x87 unit on the chip
constexpr uint32_t kFeatureCmov = 1u << 15;  // CMOVcc; with the FPU, FCMOVcc and FCOMI

// Whether a processor that answered so runs the DLL's code.
bool MeetsProcessorFloor(const CpuidAnswers& answers);

// Asks the processor this code runs on.  Safe on any x86 processor: CPUID
// is executed only where the ID bit says it exists.
CpuidAnswers AskProcessor();

// MeetsProcessorFloor(AskProcessor()): what the entry calls, before any of
// the runtime's code has run.
extern "C" bool ThisProcessorMeetsFloor();
