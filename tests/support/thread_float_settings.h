// A host thread's floating-point settings, read and set the way hosts set
// them, on each architecture the module holds its own settings on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "host/float_environment.h"

#if CROSSFEED_GUARD_FPCR

// Control (rounding, flush-to-zero, default NaN, traps) and status (flags).
struct ThreadFloatSettings {
    std::uint64_t fpcr;
    std::uint64_t fpsr;
    bool operator==(const ThreadFloatSettings& other) const { return fpcr == other.fpcr && fpsr == other.fpsr; }
};

constexpr ThreadFloatSettings kDefaultFloatSettings{0, 0};
constexpr std::uint64_t kTowardPlus = 1u << 22, kTowardMinus = 2u << 22, kTowardZero = 3u << 22;
constexpr std::uint64_t kFlushToZero = 1u << 24, kDefaultNaN = 1u << 25, kFlushHalfToZero = 1u << 19;
// Trap enables: invalid, divide-by-zero, overflow, underflow, inexact, input denormal.
constexpr std::uint64_t kTraps[] = {1u << 8, 1u << 9, 1u << 10, 1u << 11, 1u << 12, 1u << 15};
constexpr std::uint64_t kAllFlags = 0x9F;

inline ThreadFloatSettings currentFloatSettings() {
    ThreadFloatSettings now;
    __asm__ __volatile__("mrs %0, fpcr\n\tmrs %1, fpsr" : "=r"(now.fpcr), "=r"(now.fpsr) : : "memory");
    return now;
}

inline void applyFloatSettings(const ThreadFloatSettings& settings) {
    __asm__ __volatile__("msr fpcr, %0\n\tmsr fpsr, %1" : : "r"(settings.fpcr), "r"(settings.fpsr) : "memory");
}

constexpr ThreadFloatSettings kModuleFloatSettings{ModuleFloatEnvironment::kModuleFpcr, 0};

struct HostileFloatSettings {
    std::string name;
    ThreadFloatSettings settings;
};

inline std::vector<HostileFloatSettings> hostileFloatSettings() {
    std::vector<HostileFloatSettings> all = {
        {"toward zero", {kTowardZero, 0}},
        {"toward +inf", {kTowardPlus, 0}},
        {"toward -inf", {kTowardMinus, 0}},
        {"FZ", {kFlushToZero, 0}},
        {"default NaN", {kDefaultNaN, 0}},
        {"FZ, FZ16 and default NaN", {kFlushToZero | kFlushHalfToZero | kDefaultNaN, 0}},
    };
    const char* names[] = {"invalid", "divide-by-zero", "overflow", "underflow", "inexact", "input denormal"};
    std::uint64_t traps = 0;
    for (int i = 0; i < 6; ++i) {
        all.push_back({std::string(names[i]) + " trapped", {kTraps[i], 0}});
        traps |= kTraps[i];
    }
    // Raised flags of the host's stay raised; the module's own do not show.
    all.push_back({"everything at once, flags raised", {traps | kTowardZero | kFlushToZero | kDefaultNaN, kAllFlags}});
    return all;
}

// One hostile thread: directed rounding, flushing, every flag raised (so
// the test's own arithmetic cannot raise more).
constexpr ThreadFloatSettings kHostileThread{kTowardZero | kFlushToZero | kDefaultNaN, kAllFlags};

#elif CROSSFEED_GUARD_SSE

struct ThreadFloatSettings {
    std::uint32_t mxcsr;
    std::uint16_t x87;  // used on 32-bit x86 only
    bool operator==(const ThreadFloatSettings& other) const { return mxcsr == other.mxcsr && x87 == other.x87; }
};

constexpr std::uint32_t kDefaultMxcsr = 0x1F80;
constexpr std::uint16_t kDefaultX87 = 0x037F;
constexpr ThreadFloatSettings kDefaultFloatSettings{kDefaultMxcsr, kDefaultX87};
constexpr std::uint32_t kTowardMinus = 0x2000, kTowardPlus = 0x4000, kTowardZero = 0x6000;
constexpr std::uint32_t kFlushToZero = 0x8000, kDenormalsAreZero = 0x0040;
// Mask bits: invalid, denormal, divide-by-zero, overflow, underflow, precision.
constexpr std::uint32_t kMasks[] = {0x0080, 0x0100, 0x0200, 0x0400, 0x0800, 0x1000};
// The x87 word of a host that unmasks invalid, divide-by-zero and overflow,
// as older Windows hosts' runtimes do, here also at single precision and
// rounding toward zero. Its denormal and underflow exceptions stay masked:
// a float result crosses the 32-bit interface on the x87 stack, and loading
// a subnormal there raises them in the host's own code.
#if defined(__i386__)
constexpr std::uint16_t kHostileX87 = 0x0C72;  // bit 6 always reads as set
#else
constexpr std::uint16_t kHostileX87 = kDefaultX87;  // no x87 in this target's calls
#endif

inline ThreadFloatSettings currentFloatSettings() {
    ThreadFloatSettings now{_mm_getcsr(), kDefaultX87};
#if defined(__i386__)
    __asm__ __volatile__("fnstcw %0" : "=m"(now.x87));
#endif
    return now;
}

inline void applyFloatSettings(const ThreadFloatSettings& settings) {
#if defined(__i386__)
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(settings.x87));
#endif
    _mm_setcsr(settings.mxcsr);
}

constexpr ThreadFloatSettings kModuleFloatSettings{ModuleFloatEnvironment::kModuleMxcsr,
                                                   ModuleFloatEnvironment::kModuleX87};

struct HostileFloatSettings {
    std::string name;
    ThreadFloatSettings settings;
};

inline std::vector<HostileFloatSettings> hostileFloatSettings() {
    std::vector<HostileFloatSettings> all = {
        {"toward zero", {kDefaultMxcsr | kTowardZero, kHostileX87}},
        {"toward +inf", {kDefaultMxcsr | kTowardPlus, kHostileX87}},
        {"toward -inf", {kDefaultMxcsr | kTowardMinus, kHostileX87}},
        {"FTZ and DAZ", {kDefaultMxcsr | kFlushToZero | kDenormalsAreZero, kHostileX87}},
        {"FTZ", {kDefaultMxcsr | kFlushToZero, kDefaultX87}},
        {"DAZ", {kDefaultMxcsr | kDenormalsAreZero, kDefaultX87}},
    };
    const char* names[] = {"invalid", "denormal", "divide-by-zero", "overflow", "underflow", "precision"};
    std::uint32_t none = kDefaultMxcsr;
    for (int i = 0; i < 6; ++i) {
        all.push_back({std::string(names[i]) + " unmasked", {kDefaultMxcsr & ~kMasks[i], kHostileX87}});
        none &= ~kMasks[i];
    }
    // Raised flags of the host's stay raised; the module's own do not show.
    all.push_back({"everything at once, flags raised",
                   {(none | kTowardZero | kFlushToZero | kDenormalsAreZero) | 0x3F, kHostileX87}});
    return all;
}

constexpr ThreadFloatSettings kHostileThread{kDefaultMxcsr | kTowardZero | kFlushToZero | kDenormalsAreZero | 0x3F,
                                             kHostileX87};

#endif
