// The processor identification instruction.
#include "platform/api/intrin.h"

void __cpuid(int regs[4], int leaf) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a, b, c, d;
    asm volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(leaf), "c"(0));
    regs[0] = static_cast<int>(a);
    regs[1] = static_cast<int>(b);
    regs[2] = static_cast<int>(c);
    regs[3] = static_cast<int>(d);
#else
    (void)regs;
    (void)leaf;
    throw platform::InstructionFault();
#endif
}
