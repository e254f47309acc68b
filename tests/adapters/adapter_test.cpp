// The LV2 and LADSPA plug-ins, loaded from the built files, against the VST
// module driven through its record: the same control values must give the
// same bits, and bad host input a defined answer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "crossfeed/descriptor.h"
#include "support/module_under_test.h"
#include "support/thread_float_settings.h"
#include "tests/adapters/loaded_adapters.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Runs `input` through a fresh adapter instance in blocks of `block` frames.
// Null controls stay unconnected.
Stereo runAdapter(LoadedAdapter& adapter, const Stereo& input, const float* level, const float* delay,
                  std::uint32_t block = 512) {
    auto instance = adapter.instantiate(48000.0);
    Stereo in = input, out(input.frames());
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
    if (levelPercent) effect.setParameter(0, crossfeed::parameterFromPlain(crossfeed::kLevelParameter, *levelPercent));
    if (delayMilliseconds)
        effect.setParameter(1, crossfeed::parameterFromPlain(crossfeed::kDelayParameter, *delayMilliseconds));
    Stereo in = input, out(input.frames());
    effect.processReplacing(in.channels(), out.channels(), static_cast<std::int32_t>(in.frames()));
    return out;
}

class Adapters : public ::testing::TestWithParam<const char*> {
protected:
    LoadedAdapter& adapter() {
        return std::strcmp(GetParam(), "LV2") == 0 ? static_cast<LoadedAdapter&>(lv2Adapter()) : ladspaAdapter();
    }
};

TEST_P(Adapters, SameControlValuesGiveTheModulesBits) {
    const Stereo input = Stereo(3000, 7);
    const float controls[][2] = {{30.0f, 2.089796f}, {45.0f, 1.625396f}, {20.0f, 11.60997f}, {25.0f, 1.160997f},
                                 {0.0f, 0.0f},       {100.0f, 0.02f},    {73.5f, 5.3f},      {12.0f, 0.3f}};
    for (const auto& pair : controls) {
        const Stereo expected = runModule(input, &pair[0], &pair[1]);
        for (std::uint32_t block : {1u, 64u, 511u, 4096u})
            ASSERT_EQ(bitDifference(runAdapter(adapter(), input, &pair[0], &pair[1], block), expected), "")
                << GetParam() << " at " << pair[0] << " %, " << pair[1] << " ms, block " << block;
    }
}

TEST_P(Adapters, UnconnectedControlsKeepTheFirstProgram) {
    const Stereo input = Stereo(1000, 3);
    const Stereo firstProgram = runModule(input, nullptr, nullptr);
    EXPECT_EQ(bitDifference(runAdapter(adapter(), input, nullptr, nullptr), firstProgram), "") << "defaults";
    const float level = 30.0f, delay = 2.089796f;
    EXPECT_EQ(bitDifference(runAdapter(adapter(), input, &level, &delay), firstProgram), "")
        << "the first program's control values";
}

TEST_P(Adapters, ControlsOutsideTheirRangeLandOnTheNearestBound) {
    const Stereo input = Stereo(1500, 11);
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
        ASSERT_EQ(bitDifference(out, runModule(input, c.levelLike, c.delayLike)), "")
            << GetParam() << " at " << c.level << " %, " << c.delay << " ms";
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
    const Stereo input = Stereo(800, 5);
    const float level = 60.0f, delay = 11.0f;
    const Stereo fresh = runAdapter(adapter(), input, &level, &delay, 800);

    auto instance = adapter().instantiate(44100.0);
    Stereo loud = Stereo(800, 99), in = input, out(800);
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
    EXPECT_EQ(bitDifference(out, fresh), "") << "after a second activate";
}

TEST_P(Adapters, AnySampleRateChangesNothingAudible) {
    const Stereo input = Stereo(600, 21);
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
        EXPECT_EQ(bitDifference(out, expected), "") << "at " << rate << " Hz";
    }
}

TEST_P(Adapters, TheHostsFloatSettingsChangeNoBits) {
#if !CROSSFEED_FLOAT_GUARDED
    GTEST_SKIP() << "the plug-ins hold no float settings of their own on this architecture";
#else
    // Tiny samples: flush-to-zero or another rounding would change them.
    Stereo input = Stereo(1200, 13);
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
    EXPECT_EQ(bitDifference(out, expected), "") << GetParam() << " under the host's float settings";
#endif
}

INSTANTIATE_TEST_SUITE_P(BothInterfaces, Adapters, ::testing::Values("LV2", "LADSPA"));

TEST(LadspaDescriptor, DescribesTheSixPortsInOrderWithTheirUnitsAndRanges) {
    const LADSPA_Descriptor* d = ladspaAdapter().descriptor();
    EXPECT_STREQ(d->Label, "crossfeed");
    EXPECT_STREQ(d->Name, "Crossfeed");
    ASSERT_EQ(d->PortCount, 6u);
    const LADSPA_PortDescriptor expected[] = {
        LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,    LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT,
        LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,   LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT,
        LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT, LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT};
    for (unsigned long port = 0; port < 6; ++port) EXPECT_EQ(d->PortDescriptors[port], expected[port]) << port;
    const char* names[] = {"Left input", "Right input", "Left output", "Right output", "Level (%)",
                           "Delay (ms at 44.1 kHz)"};
    for (unsigned long port = 0; port < 6; ++port) EXPECT_STREQ(d->PortNames[port], names[port]) << port;
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
