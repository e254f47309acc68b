// The module's arithmetic is IEEE round-to-nearest with every exception
// masked and subnormals kept, whatever the calling thread has set: hosts run
// their audio threads with flush-to-zero, directed rounding or unmasked
// exceptions of their own. Every entry a host calls holds one of these for
// the call; the host gets its own settings back, flags included, on return.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

class ModuleFloatEnvironment {
public:
    ModuleFloatEnvironment() noexcept {
#if defined(__SSE2__)
        savedMxcsr_ = _mm_getcsr();
        _mm_setcsr(kModuleMxcsr);
#endif
#if defined(__i386__)
        // 32-bit code still meets the x87 unit, in the maths library and in
        // every float result, which comes back on its stack.
        __asm__ __volatile__("fnstenv %0\n\tfldcw %1" : "=m"(savedX87_) : "m"(kModuleX87));
#endif
    }
    ~ModuleFloatEnvironment() {
#if defined(__i386__)
        // The stack is empty between calls; nothing may sit on it here.
        __asm__ __volatile__("fldenv %0"
                             :
                             : "m"(savedX87_)
                             : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
#endif
#if defined(__SSE2__)
        _mm_setcsr(savedMxcsr_);
#endif
    }
    ModuleFloatEnvironment(const ModuleFloatEnvironment&) = delete;
    ModuleFloatEnvironment& operator=(const ModuleFloatEnvironment&) = delete;

    // All six exceptions masked, round to nearest, no flush-to-zero, no
    // denormals-are-zero, no flags raised.
    static constexpr std::uint32_t kModuleMxcsr = 0x1F80;
    // All exceptions masked, 64-bit significand, round to nearest.
    static constexpr std::uint16_t kModuleX87 = 0x037F;

private:
#if defined(__SSE2__)
    std::uint32_t savedMxcsr_;
#endif
#if defined(__i386__)
    // Control, status and tag words with the last instruction's pointers.
    struct X87Environment {
        std::uint32_t words[7];
    } savedX87_;
#endif
};
