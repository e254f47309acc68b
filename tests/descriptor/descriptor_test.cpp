// The descriptor's encodings and conversions: the version as each interface
// carries it, and the plain values that interfaces with units exchange.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "crossfeed/descriptor.h"
#include "support/samples.h"

namespace {

using crossfeed::Version;

TEST(Version, HostsReadTheVendorVersionDigitByDigit) {
    EXPECT_EQ(crossfeed::vendorVersionOf({1, 0, 0}), 1000);
    const std::int32_t number = crossfeed::vendorVersionOf({1, 2, 3});
    EXPECT_EQ(number, 1230);
    const std::string digits = std::to_string(number);
    EXPECT_EQ(digits, "1230") << "1.2.3.0 to a host";
    EXPECT_STREQ(crossfeed::versionText({1, 2, 3}).text, "1.2.3");
    EXPECT_STREQ(crossfeed::versionText({0, 10, 123}).text, "0.10.123");
}

TEST(Version, EveryVersionComesBackFromItsVendorNumber) {
    for (int major = 0; major <= 9; ++major)
        for (int minor = 0; minor <= 9; ++minor)
            for (int patch = 0; patch <= 9; ++patch) {
                if (major + minor + patch == 0) continue;
                Version back{-1, -1, -1};
                ASSERT_TRUE(crossfeed::versionOfVendorVersion(crossfeed::vendorVersionOf({major, minor, patch}), back));
                ASSERT_EQ(back.major * 100 + back.minor * 10 + back.patch, major * 100 + minor * 10 + patch);
            }
    // Numbers of another form, another module's say, are not read as ours.
    for (std::int32_t other : {0, -1230, 1203, 10000, 12300, 1, INT32_MAX, INT32_MIN}) {
        Version untouched{7, 7, 7};
        EXPECT_FALSE(crossfeed::versionOfVendorVersion(other, untouched)) << other;
        EXPECT_EQ(untouched.major, 7) << other;
    }
}

// LV2 marks odd numbers and minor 0 as development versions, and loads the
// highest it finds.
TEST(Version, Lv2VersionsAreReleasesInReleaseOrder) {
    EXPECT_EQ(crossfeed::lv2MinorVersionOf({1, 2, 3}), 24);
    EXPECT_EQ(crossfeed::lv2MicroVersionOf({1, 2, 3}), 6);
    long previous = -1;
    for (int major = 1; major <= 9; ++major)
        for (int minor = 0; minor <= 9; ++minor)
            for (int patch = 0; patch <= 9; ++patch) {
                const int lv2Minor = crossfeed::lv2MinorVersionOf({major, minor, patch});
                const int lv2Micro = crossfeed::lv2MicroVersionOf({major, minor, patch});
                ASSERT_TRUE(lv2Minor > 0 && lv2Minor % 2 == 0 && lv2Micro % 2 == 0) << major << minor << patch;
                const long order = lv2Minor * 1000L + lv2Micro;
                ASSERT_GT(order, previous) << major << minor << patch;
                previous = order;
            }
}

// What LV2 presets and the renderer's options rely on: the plain value of
// a parameter sets exactly that parameter again.
TEST(Conversions, PlainValuesGiveBackTheirParameters) {
    for (const crossfeed::Preset& preset : crossfeed::kPresets) {
        for (auto [parameter, value] : {std::pair{crossfeed::kLevelParameter, preset.level},
                                        std::pair{crossfeed::kDelayParameter, preset.delay}}) {
            const double plain = crossfeed::plainFromParameter(parameter, value);
            EXPECT_EQ(bitsOf(crossfeed::parameterFromPlain(parameter, plain)), bitsOf(value)) << preset.name;
            EXPECT_EQ(bitsOf(crossfeed::parameterFromControl(parameter, static_cast<float>(plain))), bitsOf(value))
                << preset.name;
        }
    }
    for (int step = 0; step <= 1000; ++step) {
        const float value = static_cast<float>(step) / 1000.0f;
        for (crossfeed::Parameter parameter : {crossfeed::kLevelParameter, crossfeed::kDelayParameter})
            ASSERT_EQ(crossfeed::parameterFromPlain(parameter, crossfeed::plainFromParameter(parameter, value)), value)
                << step;
    }
}

TEST(Conversions, ControlsOutsideTheirRangeLandOnTheNearestBound) {
    const float inf = std::numeric_limits<float>::infinity();
    for (crossfeed::Parameter parameter : {crossfeed::kLevelParameter, crossfeed::kDelayParameter}) {
        for (float below : {-1.0f, -inf, std::nanf(""), -std::nanf("")})
            EXPECT_EQ(bitsOf(crossfeed::parameterFromControl(parameter, below)), 0u) << parameter << " " << below;
        for (float above : {1000.0f, inf, 3e38f})
            EXPECT_EQ(crossfeed::parameterFromControl(parameter, above), 1.0f) << parameter << " " << above;
    }
    // The displayed maximum rounds a hair above the whole ring.
    EXPECT_EQ(crossfeed::parameterFromPlain(crossfeed::kDelayParameter, 11.60998), 1.0f);
    EXPECT_TRUE(crossfeed::plainInRange(crossfeed::kDelayParameter, 11.60998));
    EXPECT_TRUE(crossfeed::plainInRange(crossfeed::kDelayParameter, 11.60997));
    EXPECT_FALSE(crossfeed::plainInRange(crossfeed::kDelayParameter, 11.61));
    EXPECT_TRUE(crossfeed::plainInRange(crossfeed::kLevelParameter, 100.0));
    EXPECT_FALSE(crossfeed::plainInRange(crossfeed::kLevelParameter, 100.0001));
    EXPECT_FALSE(crossfeed::plainInRange(crossfeed::kLevelParameter, -0.001));
}

// The programs' delays in samples, as processing applies them; "Big Head"
// asks for the whole ring and gets its longest delay.
TEST(Conversions, ProgramDelaysInSamples) {
    const std::int32_t samples[] = {92, 71, 511, 51};
    for (int program = 0; program < crossfeed::kPresetCount; ++program)
        EXPECT_EQ(crossfeed::delaySamplesFor(crossfeed::kPresets[program].delay), samples[program])
            << crossfeed::kPresets[program].name;
}

}  // namespace
