// The LV2 and LADSPA plug-ins, loaded from the built files, against the VST
// module driven through its record: the same control values must give the
// same bits, and bad host input a defined answer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "crossfeed/parameter_units.h"
#include "support/module_under_test.h"
#include "support/thread_float_settings.h"
#include "tests/adapters/loaded_adapters.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(std::size_t frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {}
};

Stereo noiseInput(std::size_t frames, std::uint32_t seed) {
    Stereo input(frames);
    input.left = noise(frames, seed);
    input.right = noise(frames, seed + 1);
    return input;
}

// Runs `input` through a fresh adapter instance in blocks of `block` frames.
// Null controls stay unconnected.
Stereo runAdapter(LoadedAdapter& adapter, const Stereo& input, const float* level, const float* delay,
                  std::uint32_t block = 512) {
    auto instance = adapter.instantiate(48000.0);
    Stereo in = input, out(input.left.size());
    float levelValue = level ? *level : 0.0f, delayValue = delay ? *delay : 0.0f;
    instance->connect(kLevel, level ? &levelValue : nullptr);
    instance->connect(kDelay, delay ? &delayValue : nullptr);
    instance->activate();
    for (std::size_t done = 0; done < in.left.size(); done += block) {
        const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(block, in.left.size() - done));
        instance->connect(kInLeft, in.left.data() + done);
        instance->connect(kInRight, in.right.data() + done);
        instance->connect(kOutLeft, out.left.data() + done);
        instance->connect(kOutRight, out.right.data() + done);
        instance->run(frames);
    }
    return out;
}

// The VST module with its parameters set from the same control values by the
// shared conversion (programme 0's values when none is given).
Stereo runModule(const Stereo& input, const float* levelPercent, const float* delayMilliseconds) {
    EffectInstance effect = newEffect();
    if (levelPercent) effect.setParameter(0, crossfeed_units::levelFromPercent(*levelPercent));
    if (delayMilliseconds) effect.setParameter(1, crossfeed_units::delayFromMilliseconds(*delayMilliseconds));
    Stereo in = input, out(input.left.size());
    float* inputs[2] = {in.left.data(), in.right.data()};
    float* outputs[2] = {out.left.data(), out.right.data()};
    effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(in.left.size()));
    return out;
}

void expectSameBits(const Stereo& expected, const Stereo& actual, const std::string& what) {
    ASSERT_EQ(expected.left.size(), actual.left.size());
    for (std::size_t i = 0; i < expected.left.size(); ++i) {
        ASSERT_TRUE(sameSample(expected.left[i], actual.left[i])) << what << ", left frame " << i;
        ASSERT_TRUE(sameSample(expected.right[i], actual.right[i])) << what << ", right frame " << i;
    }
}

class Adapters : public ::testing::TestWithParam<const char*> {
protected:
    LoadedAdapter& adapter() {
        return std::strcmp(GetParam(), "LV2") == 0 ? static_cast<LoadedAdapter&>(lv2Adapter()) : ladspaAdapter();
    }
};

TEST_P(Adapters, SameControlValuesGiveTheModulesBits) {
    const Stereo input = noiseInput(3000, 7);
    const float controls[][2] = {{30.0f, 2.089796f}, {45.0f, 1.625396f}, {20.0f, 11.60997f}, {25.0f, 1.160997f},
                                 {0.0f, 0.0f},       {100.0f, 0.02f},    {73.5f, 5.3f},      {12.0f, 0.3f}};
    for (const auto& pair : controls) {
        const Stereo expected = runModule(input, &pair[0], &pair[1]);
        for (std::uint32_t block : {1u, 64u, 511u, 4096u})
            expectSameBits(expected, runAdapter(adapter(), input, &pair[0], &pair[1], block),
                           std::string(GetParam()) + " at " + std::to_string(pair[0]) + " %, " +
                               std::to_string(pair[1]) + " ms, block " + std::to_string(block));
    }
}

TEST_P(Adapters, UnconnectedControlsKeepTheFirstProgram) {
    const Stereo input = noiseInput(1000, 3);
    expectSameBits(runModule(input, nullptr, nullptr), runAdapter(adapter(), input, nullptr, nullptr), "defaults");
    const float level = 30.0f, delay = 2.089796f;
    expectSameBits(runModule(input, nullptr, nullptr), runAdapter(adapter(), input, &level, &delay),
                   "the first program's control values");
}

TEST_P(Adapters, ControlsOutsideTheirRangeLandOnTheNearestBound) {
    const Stereo input = noiseInput(1500, 11);
    const float zero = 0.0f, hundred = 100.0f, longest = 11.60997f, middle = 2.0f, quarter = 25.0f;
    struct Case {
        float level, delay;
        const float *levelLike, *delayLike;
    } cases[] = {{kNaN, middle, &zero, &middle},      {-5.0f, middle, &zero, &middle},
                 {250.0f, middle, &hundred, &middle}, {INFINITY, middle, &hundred, &middle},
                 {quarter, kNaN, &quarter, &zero},    {quarter, -1.0f, &quarter, &zero},
                 {quarter, 40.0f, &quarter, &longest}, {quarter, -INFINITY, &quarter, &zero}};
    for (const Case& c : cases) {
        const Stereo out = runAdapter(adapter(), input, &c.level, &c.delay);
        for (float sample : out.left) ASSERT_TRUE(std::isfinite(sample));
        expectSameBits(runModule(input, c.levelLike, c.delayLike), out,
                       std::string(GetParam()) + " at " + std::to_string(c.level) + " %, " +
                           std::to_string(c.delay) + " ms");
    }
}

TEST_P(Adapters, UnconnectedAudioGivesSilenceAndZeroLengthRunsWriteNothing) {
    auto instance = adapter().instantiate(44100.0);
    std::vector<float> in(64, 0.5f), outLeft(64, 7.0f), outRight(64, 7.0f);
    float level = 50.0f, delay = 1.0f;
    instance->connect(kLevel, &level);
    instance->connect(kDelay, &delay);
    instance->activate();
    instance->run(64);  // nothing connected
    instance->connect(kInLeft, in.data());
    instance->connect(kOutLeft, outLeft.data());
    instance->connect(kOutRight, outRight.data());
    instance->run(0);
    EXPECT_EQ(outLeft[0], 7.0f);
    instance->run(64);  // right input missing
    for (std::size_t i = 0; i < 64; ++i) ASSERT_TRUE(outLeft[i] == 0.0f && outRight[i] == 0.0f) << i;
    instance->connect(kLevel, nullptr);
    instance->connect(kDelay, nullptr);
    instance->connect(kInRight, in.data());
    instance->connect(1000, in.data());  // no such port: ignored
    instance->run(64);
    EXPECT_NE(outLeft[63], 0.0f);
}

TEST_P(Adapters, ActivateStartsFromSilentRings) {
    const Stereo input = noiseInput(800, 5);
    const float level = 60.0f, delay = 11.0f;
    const Stereo fresh = runAdapter(adapter(), input, &level, &delay, 800);

    auto instance = adapter().instantiate(44100.0);
    Stereo loud = noiseInput(800, 99), in = input, out(800);
    float levelValue = level, delayValue = delay;
    instance->connect(kLevel, &levelValue);
    instance->connect(kDelay, &delayValue);
    instance->activate();
    instance->connect(kInLeft, loud.left.data());
    instance->connect(kInRight, loud.right.data());
    instance->connect(kOutLeft, out.left.data());
    instance->connect(kOutRight, out.right.data());
    instance->run(800);
    instance->activate();
    instance->connect(kInLeft, in.left.data());
    instance->connect(kInRight, in.right.data());
    instance->run(800);
    expectSameBits(fresh, out, "after a second activate");
}

TEST_P(Adapters, AnySampleRateChangesNothingAudible) {
    const Stereo input = noiseInput(600, 21);
    const float level = 40.0f, delay = 3.0f;
    const Stereo expected = runAdapter(adapter(), input, &level, &delay);
    for (double rate : {1.0, 8000.0, 384000.0, 1e300}) {
        auto instance = adapter().instantiate(rate);
        ASSERT_TRUE(instance) << rate;
        Stereo in = input, out(600);
        float levelValue = level, delayValue = delay;
        instance->connect(kLevel, &levelValue);
        instance->connect(kDelay, &delayValue);
        instance->connect(kInLeft, in.left.data());
        instance->connect(kInRight, in.right.data());
        instance->connect(kOutLeft, out.left.data());
        instance->connect(kOutRight, out.right.data());
        instance->activate();
        instance->run(600);
        expectSameBits(expected, out, "at " + std::to_string(rate) + " Hz");
    }
}

TEST_P(Adapters, TheHostsFloatSettingsChangeNoBits) {
#if !CROSSFEED_FLOAT_GUARDED
    GTEST_SKIP() << "the plug-ins hold no float settings of their own on this architecture";
#else
    // Tiny samples: flush-to-zero or another rounding would change them.
    Stereo input = noiseInput(1200, 13);
    for (std::size_t i = 0; i < input.left.size(); ++i) {
        input.left[i] *= 1e-37f;
        input.right[i] *= 3e-38f;
    }
    const float level = 37.0f, delay = 0.7f;
    const Stereo expected = runModule(input, &level, &delay);
    const ThreadFloatSettings saved = currentFloatSettings();
    applyFloatSettings(kHostileThread);
    const ThreadFloatSettings hostile = currentFloatSettings();
    const Stereo out = runAdapter(adapter(), input, &level, &delay);
    const ThreadFloatSettings during = currentFloatSettings();
    applyFloatSettings(saved);
    EXPECT_TRUE(during == hostile) << "the host's settings come back";
    expectSameBits(expected, out, std::string(GetParam()) + " under the host's float settings");
#endif
}

INSTANTIATE_TEST_SUITE_P(BothInterfaces, Adapters, ::testing::Values("LV2", "LADSPA"));

TEST(LadspaDescriptor, DescribesTheSixPortsInOrderWithTheirRanges) {
    const LADSPA_Descriptor* d = ladspaAdapter().descriptor();
    EXPECT_STREQ(d->Label, "crossfeed");
    EXPECT_STREQ(d->Name, "Crossfeed");
    ASSERT_EQ(d->PortCount, 6u);
    const LADSPA_PortDescriptor expected[] = {
        LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,    LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,
        LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,   LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,
        LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT, LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT};
    for (unsigned long port = 0; port < 6; ++port) EXPECT_EQ(d->PortDescriptors[port], expected[port]) << port;
    EXPECT_EQ(d->PortRangeHints[kLevel].LowerBound, 0.0f);
    EXPECT_EQ(d->PortRangeHints[kLevel].UpperBound, 100.0f);
    EXPECT_EQ(d->PortRangeHints[kDelay].UpperBound, static_cast<float>(512.0 / 44.1));
    EXPECT_TRUE(LADSPA_IS_HARD_RT_CAPABLE(d->Properties));
    EXPECT_EQ(reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(ladspaAdapter().library(), "ladspa_descriptor"))(1),
              nullptr);
}

TEST(Lv2Descriptor, AnswersOnlyItsOwnPlugin) {
    EXPECT_STREQ(lv2Adapter().descriptor()->URI, "urn:crossfeed:crossfeed");
    EXPECT_EQ(lv2Adapter().descriptor()->extension_data("urn:anything"), nullptr);
    EXPECT_EQ(reinterpret_cast<LV2_Descriptor_Function>(dlsym(lv2Adapter().library(), "lv2_descriptor"))(1),
              nullptr);
}

}  // namespace
