// The i686 DLL's entry point (linked with --entry): it stands before the
// runtime's own, DllMainCRTStartup, which initialises the C and C++ runtimes
// and calls DllMain.  Those runtimes use CMOV and FCOMI from their first
// allocation on, so on a processor without them the DLL must not start at
// all: on process attach the guard asks the processor and, below the floor,
// answers FALSE.  The loader then unloads the DLL, LoadLibrary fails with
// ERROR_DLL_INIT_FAILED, and the shell shows no menu; its process goes on.
//
// The loader follows a refused attach with a process detach, which the
// runtime, never initialised, must not see either: that notice is judged the
// same way.  Thread notices come only to a DLL that stayed loaded.  Every
// notice that passes reaches the runtime's entry unchanged, by a jump, with
// the loader's own arguments and return address still on the stack.
//
// Written in assembly so that nothing here can be above the processors it
// turns away; what it calls is built for the 386.  scripts/check-dll reads
// it back.
#if !defined(__i386__)
#error "the processor guard is the i686 DLL's alone"
#endif

asm(R"(
        .text
        .globl  _ProcessorGuard@12
        .def    _ProcessorGuard@12; .scl 2; .type 32; .endef
        .p2align 4
_ProcessorGuard@12:
        .cfi_startproc
        movl    8(%esp), %eax               # the notice
        cmpl    $1, %eax                    # DLL_PROCESS_ATTACH
        je      1f
        testl   %eax, %eax                  # DLL_PROCESS_DETACH
        jne     2f
1:      call    _ThisProcessorMeetsFloor
        testb   %al, %al
        je      3f
2:      jmp     _DllMainCRTStartup@12
3:      xorl    %eax, %eax                  # FALSE: the DLL refuses to load
        ret     $12
        .cfi_endproc
)");
