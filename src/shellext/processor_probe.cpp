// Asks this processor what it is.  Built for the 386 in the i686 DLL: the
// entry runs it before it knows the processor can run anything newer.
#include "shellext/processor_floor.h"

namespace {

#if defined(__i386__)
// The ID bit (21) of EFLAGS can be changed only by a processor that has
// CPUID; a 386 and most 486s keep it as it is.  EFLAGS is restored after.
bool HasCpuid() {
    uint32_t original, toggled;
    asm volatile(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "pushl %0\n\t"
        "popfl"
        : "=&r"(original), "=&r"(toggled)
        :
        : "cc");
    return ((original ^ toggled) & 0x200000u) != 0;
}
#elif defined(__x86_64__)
bool HasCpuid() { return true; }  // every x86-64 processor has it
#else
#error "the processor floor is defined for x86 processors"
#endif

struct Leaf {
    uint32_t eax, ebx, ecx, edx;
};

Leaf Cpuid(uint32_t leaf) {
    Leaf r;
    asm volatile("cpuid" : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx) : "a"(leaf), "c"(0u));
    return r;
}

}  // namespace

CpuidAnswers AskProcessor() {
    CpuidAnswers answers;
    answers.cpuid = HasCpuid();
    if (!answers.cpuid)
        return answers;
    answers.highestLeaf = Cpuid(0).eax;
    if (answers.highestLeaf >= 1) {
        const Leaf leaf1 = Cpuid(1);
        answers.signature = leaf1.eax;
        answers.features = leaf1.edx;
    }
    return answers;
}

extern "C" bool ThisProcessorMeetsFloor() { return MeetsProcessorFloor(AskProcessor()); }
