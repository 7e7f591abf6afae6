#pragma once
// The processor identification instruction.
#include <stdexcept>

namespace platform {
// Raised by __cpuid where the processor has no identification instruction: the
// counterpart of the platform's hardware fault, caught where the instruction is guarded.
struct InstructionFault : std::runtime_error {
    InstructionFault() : std::runtime_error("processor identification not available") {}
};
}  // namespace platform

// regs receives EAX, EBX, ECX, EDX of the given leaf (sub-leaf 0).
void __cpuid(int regs[4], int leaf);
