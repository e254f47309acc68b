// Hosts call with floating-point settings of their own: directed rounding,
// flush-to-zero and denormals-are-zero, unmasked exceptions. Through the
// module's record, every call must compute the bits it computes under the
// defaults, trap on nothing, and hand the host's settings back unchanged.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "host/float_environment.h"
#include "support/module_under_test.h"
#include "support/thread_float_settings.h"

namespace {

#if CROSSFEED_FLOAT_GUARDED
using Settings = ThreadFloatSettings;

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
        // Compared with what the thread took: a processor without trapping
        // keeps none of the trap enables it is given.
        applyFloatSettings(*settings_);
        const Settings before = currentFloatSettings();
        host();
        const Settings after = currentFloatSettings();
        applyFloatSettings(kDefaultFloatSettings);
        if (!(after == before)) ++changedSettings;
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
    for (const HostileFloatSettings& hostile : hostileFloatSettings()) {
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
    applyFloatSettings(kHostileThread);
    const Settings hostile = currentFloatSettings();
    Settings inside{};
    {
        const ModuleFloatEnvironment environment;
        inside = currentFloatSettings();
    }
    const Settings after = currentFloatSettings();
    applyFloatSettings(kDefaultFloatSettings);
    EXPECT_TRUE(inside == kModuleFloatSettings) << "the module's settings, no flags raised";
    EXPECT_TRUE(after == hostile) << "the host's settings and flags";
}

#else
TEST(HostFloatSettings, EveryCallComputesTheSameBitsAndHandsTheSettingsBack) {
    GTEST_SKIP() << "the module holds no float settings of its own on this architecture";
}
#endif

}  // namespace
