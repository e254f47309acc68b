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

// Only the benchmark's baseline build leaves the host's settings in force,
// to measure what keeping them out costs.
#if defined(__SSE2__) && !defined(CROSSFEED_HOST_FLOAT_SETTINGS)
#define CROSSFEED_GUARD_SSE 1
#else
#define CROSSFEED_GUARD_SSE 0
#endif
#if defined(__i386__) && !defined(CROSSFEED_HOST_FLOAT_SETTINGS)
#define CROSSFEED_GUARD_X87 1
#else
#define CROSSFEED_GUARD_X87 0
#endif

class ModuleFloatEnvironment {
public:
    ModuleFloatEnvironment() noexcept {
#if CROSSFEED_GUARD_SSE
        savedMxcsr_ = _mm_getcsr();
        _mm_setcsr(kModuleMxcsr);
#endif
#if CROSSFEED_GUARD_X87
        // 32-bit code still meets the x87 unit, in the maths library and in
        // every float result, which comes back on its stack.
        __asm__ __volatile__("fnstenv %0\n\tfldcw %1" : "=m"(savedX87_) : "m"(kModuleX87));
#endif
    }
    ~ModuleFloatEnvironment() {
#if CROSSFEED_GUARD_X87
        // The stack is empty between calls; nothing may sit on it here.
        __asm__ __volatile__("fldenv %0"
                             :
                             : "m"(savedX87_)
                             : "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)");
#endif
#if CROSSFEED_GUARD_SSE
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
#if CROSSFEED_GUARD_SSE
    std::uint32_t savedMxcsr_;
#endif
#if CROSSFEED_GUARD_X87
    // Control, status and tag words with the last instruction's pointers.
    struct X87Environment {
        std::uint32_t words[7];
    } savedX87_;
#endif
};
