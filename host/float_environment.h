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
#if defined(__aarch64__) && !defined(CROSSFEED_HOST_FLOAT_SETTINGS)
#define CROSSFEED_GUARD_FPCR 1
#else
#define CROSSFEED_GUARD_FPCR 0
#endif
// Whether this target holds the module's settings at all; the build warns
// where it does not.
#define CROSSFEED_FLOAT_GUARDED (CROSSFEED_GUARD_SSE || CROSSFEED_GUARD_FPCR)

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
#if CROSSFEED_GUARD_FPCR
        // Control and status live in two registers here; the status holds
        // the raised flags, which the host gets back as it left them.
        __asm__ __volatile__("mrs %0, fpcr\n\tmrs %1, fpsr\n\tmsr fpcr, %2\n\tmsr fpsr, xzr"
                             : "=&r"(savedFpcr_), "=&r"(savedFpsr_)
                             : "r"(kModuleFpcr)
                             : "memory");
#endif
    }
    ~ModuleFloatEnvironment() {
#if CROSSFEED_GUARD_FPCR
        __asm__ __volatile__("msr fpcr, %0\n\tmsr fpsr, %1" : : "r"(savedFpcr_), "r"(savedFpsr_) : "memory");
#endif
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
    // Round to nearest, no flush-to-zero (single, double or half), no
    // default NaN, IEEE half precision, no exception traps.
    static constexpr std::uint64_t kModuleFpcr = 0;

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
#if CROSSFEED_GUARD_FPCR
    std::uint64_t savedFpcr_;
    std::uint64_t savedFpsr_;
#endif
};
