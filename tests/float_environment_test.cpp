// Hosts call with floating-point settings of their own: directed rounding,
// flush-to-zero and denormals-are-zero, unmasked exceptions. Through the
// module's record, every call must compute the bits it computes under the
// defaults, trap on nothing, and hand the host's settings back unchanged.
#include <gtest/gtest.h>
#include <immintrin.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/float_environment.h"
#include "support/module_under_test.h"

namespace {

struct Settings {
    std::uint32_t mxcsr;
    std::uint16_t x87;  // used on 32-bit x86 only
};

constexpr std::uint32_t kDefaultMxcsr = 0x1F80;
constexpr std::uint16_t kDefaultX87 = 0x037F;
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

struct Hostile {
    std::string name;
    Settings settings;
};

std::vector<Hostile> hostileSettings() {
    std::vector<Hostile> all = {
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
    all.push_back({"everything at once, flags raised", {(none | kTowardZero | kFlushToZero | kDenormalsAreZero) | 0x3F,
                                                          kHostileX87}});
    return all;
}

Settings current() {
    Settings now{_mm_getcsr(), kDefaultX87};
#if defined(__i386__)
    __asm__ __volatile__("fnstcw %0" : "=m"(now.x87));
#endif
    return now;
}

void apply(const Settings& settings) {
#if defined(__i386__)
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(settings.x87));
#endif
    _mm_setcsr(settings.mxcsr);
}

// Runs one host call under `settings` (nothing else runs under them: the
// test's own arithmetic would trap) and counts changes the call left.
class Host {
public:
    explicit Host(const Settings* settings) : settings_(settings) {}

    template <typename Call>
    void call(Call&& host) {
        if (!settings_) {
            host();
            return;
        }
        apply(*settings_);
        host();
        const Settings after = current();
        apply({kDefaultMxcsr, kDefaultX87});
        if (after.mxcsr != settings_->mxcsr || after.x87 != settings_->x87) ++changedSettings;
    }

    int changedSettings = 0;

private:
    const Settings* settings_;
};

// Everything a host reads back from one session of calls, as bits.
std::vector<std::uint32_t> session(Host& host) {
    std::vector<std::uint32_t> seen;
    EffectRecord* record = nullptr;
    host.call([&] { record = moduleUnderTest().entry()(standardHostCallback); });
    if (!record) return {};

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Noise with NaNs, infinities, subnormals, and sums that overflow.
    std::vector<float> left = noise(301, 5), right = noise(301, 6);
    const float specials[] = {nan, inf, -inf, 1e-40f, -1e-45f, FLT_MAX, -FLT_MAX, 1e-38f, 3e38f, 0.0f, -0.0f};
    for (std::size_t i = 0; i < left.size(); i += 7) {
        left[i] = specials[(i / 7) % std::size(specials)];
        right[i + 3 < right.size() ? i + 3 : i] = specials[(i / 7 + 4) % std::size(specials)];
    }
    const float levels[] = {0.3f, 1.0f, 0.7131f, 0.45f};
    const float delays[] = {0.18f, 0.0f, 0.5f, 1.0f};
    std::vector<float> outL(left.size()), outR(right.size());
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (int round = 0; round < 4; ++round) {
        host.call([&] { record->setParameterEntry(record, 0, levels[round]); });
        host.call([&] { record->setParameterEntry(record, 1, delays[round]); });
        host.call([&] { record->dispatchEntry(record, kEffectPower, 0, round != 2, nullptr, 0.0f); });
        for (bool adding : {false, true}) {
            // Old output near the largest float makes adding overflow too.
            for (std::size_t i = 0; i < outL.size(); ++i) outL[i] = outR[i] = (i % 5 == 0) ? FLT_MAX : 0.25f;
            if (adding)
                host.call([&] { record->processEntry(record, in, out, static_cast<std::int32_t>(left.size())); });
            else
                host.call([&] { record->processReplacingEntry(record, in, out, 173); });
            for (float sample : outL) seen.push_back(bitsOf(sample));
            for (float sample : outR) seen.push_back(bitsOf(sample));
        }
    }

    // The displayed texts, and the parameters as read back.
    const float values[] = {0.3f, 0.18f, 0.14f, 0.1f, 0.123456f, 0.7f, 0.999999f, 1e-40f, -1e-45f, 1e-30f,
                            -0.5f, 3.0f, 1e30f, inf, -inf, nan, floatFromBits(0x3E3851ED), floatFromBits(0x3F7FFFFF)};
    for (float value : values) {
        for (std::int32_t index = 0; index < 2; ++index) {
            char text[64] = {};
            float back = 0.0f;
            host.call([&] { record->setParameterEntry(record, index, value); });
            host.call([&] { record->dispatchEntry(record, kEffectGetParameterDisplay, index, 0, text, 0.0f); });
            host.call([&] { back = record->getParameterEntry(record, index); });
            for (const char* c = text; *c; ++c) seen.push_back(static_cast<unsigned char>(*c));
            seen.push_back(0x100);
            seen.push_back(bitsOf(back));
        }
    }
    HostInt closed = 0;
    host.call([&] { closed = record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f); });
    seen.push_back(static_cast<std::uint32_t>(closed));
    return seen;
}

TEST(HostFloatSettings, EveryCallComputesTheSameBitsAndHandsTheSettingsBack) {
    Host plain(nullptr);
    const std::vector<std::uint32_t> expected = session(plain);
    ASSERT_FALSE(expected.empty());
    for (const Hostile& hostile : hostileSettings()) {
        Host host(&hostile.settings);
        const std::vector<std::uint32_t> seen = session(host);
        EXPECT_EQ(host.changedSettings, 0) << hostile.name << ": calls that changed the host's settings";
        ASSERT_EQ(seen.size(), expected.size()) << hostile.name;
        std::size_t differing = 0, first = seen.size();
        for (std::size_t i = 0; i < seen.size(); ++i) {
            // Which NaN comes out is the arithmetic's business; that one does is not.
            const bool bothNaN = std::isnan(floatFromBits(seen[i])) && std::isnan(floatFromBits(expected[i])) &&
                                 seen[i] > 0x100 && expected[i] > 0x100;
            if (seen[i] != expected[i] && !bothNaN) {
                ++differing;
                if (first == seen.size()) first = i;
            }
        }
        EXPECT_EQ(differing, 0u) << hostile.name << ": first difference at " << first;
    }
}

// The module's own settings are what its entries run under.
TEST(HostFloatSettings, TheGuardSetsTheModulesSettingsAndRestoresTheHosts) {
    const Settings hostile{kDefaultMxcsr | kTowardZero | kFlushToZero | 0x21, kHostileX87};
    apply(hostile);
    Settings inside{};
    {
        const ModuleFloatEnvironment environment;
        inside = current();
    }
    const Settings after = current();
    apply({kDefaultMxcsr, kDefaultX87});
    EXPECT_EQ(inside.mxcsr, ModuleFloatEnvironment::kModuleMxcsr);
#if defined(__i386__)
    EXPECT_EQ(inside.x87, ModuleFloatEnvironment::kModuleX87);
#endif
    EXPECT_EQ(after.mxcsr, hostile.mxcsr);
    EXPECT_EQ(after.x87, hostile.x87);
}

}  // namespace
