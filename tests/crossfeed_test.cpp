// The crossfeed through the binary interface: presets, program memory,
// parameters as the host set them, and what the record's processing entries
// add to the processor: both modes, host buffers, power and silly calls.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

struct PresetRow {
    const char* name;
    std::uint32_t crossLevelBits, delayAmountBits;
};

const PresetRow kPresetRows[] = {
    {"Bedroom studio", 0x3E99999A, 0x3E3851EC},
    {"Lounge room", 0x3EE66666, 0x3E0F5C29},
    {"Big Head", 0x3E4CCCCD, 0x3F800000},
    {"Car stereo", 0x3E800000, 0x3DCCCCCD},
};

TEST(Programs, NewEffectStartsOnBedroomStudio) {
    EffectInstance effect = newEffect();
    EXPECT_EQ(effect.program(), 0);
    EXPECT_EQ(effect.getParameter(0), 0.3f);
    EXPECT_EQ(effect.getParameter(1), 0.18f);
    EXPECT_EQ(effect.getParameter(2), 0.0f);
    EXPECT_EQ(effect.getParameter(-1), 0.0f);
}

TEST(Programs, PresetsCarryTheirExactValues) {
    EffectInstance effect = newEffect();
    for (int program = 3; program >= 0; --program) {
        effect.setProgram(program);
        const PresetRow& row = kPresetRows[program];
        EXPECT_EQ(effect.program(), program);
        EXPECT_EQ(bitsOf(effect.getParameter(0)), row.crossLevelBits) << row.name;
        EXPECT_EQ(bitsOf(effect.getParameter(1)), row.delayAmountBits) << row.name;
        EXPECT_EQ(effect.programName(), row.name);
    }
}

TEST(Programs, EachProgramRemembersItsLastEdit) {
    EffectInstance effect = newEffect();
    effect.setProgram(1);
    effect.setParameter(0, 0.5f);
    effect.setParameter(7, 0.9f);  // no such parameter: ignored
    effect.setProgram(0);
    EXPECT_EQ(effect.getParameter(0), 0.3f);
    effect.setProgram(1);
    EXPECT_EQ(effect.getParameter(0), 0.5f);
    EXPECT_EQ(effect.getParameter(1), 0.14f);
    effect.setParameter(1, 0.75f);
    effect.setProgram(2);
    effect.setProgram(1);
    EXPECT_EQ(effect.getParameter(1), 0.75f);
    effect.setProgram(2);
    EXPECT_EQ(effect.getParameter(1), 1.0f);
}

TEST(Programs, ParametersKeepWhatTheHostSet) {
    EffectInstance effect = newEffect();
    const float values[] = {1.5f, -0.5f, 1e30f, -1e-30f, std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
    for (float value : values) {
        for (int index = 0; index < 2; ++index) {
            effect.setParameter(index, value);
            EXPECT_EQ(bitsOf(effect.getParameter(index)), bitsOf(value));
        }
    }
    const float nan = floatFromBits(0x7FC01234);
    effect.setParameter(1, nan);
    EXPECT_EQ(bitsOf(effect.getParameter(1)), 0x7FC01234u);
    // A signalling NaN is kept as set, but 32-bit x86 returns a float on the
    // x87 stack, which loads it quiet: the payload stays, the quiet bit is set.
    effect.setParameter(0, floatFromBits(0xFFA05678));
#if defined(__i386__)
    EXPECT_EQ(bitsOf(effect.getParameter(0)), 0xFFE05678u);
#else
    EXPECT_EQ(bitsOf(effect.getParameter(0)), 0xFFA05678u);
#endif
}

TEST(Processing, ThroughTheRecordMatchesThePerFrameOracle) {
    const int blockSizes[] = {1, 2, 7, 64, 91, 512, 513, 1000, 4096};
    for (int program = 0; program < 4; ++program) {
        for (bool adding : {false, true}) {
            for (bool inPlace : {false, true}) {
                EffectInstance effect = newEffect();
                effect.setProgram(program);
                ReferenceCrossfeed oracle;
                oracle.setParameters(effect.getParameter(0), effect.getParameter(1));
                std::uint32_t seed = 11u + static_cast<std::uint32_t>(program);
                for (int block : blockSizes) {
                    Stereo in(block, seed++);
                    Stereo out(block, adding ? seed++ : 0);
                    Stereo expected = inPlace ? in : out;
                    oracle.process(in.left.data(), in.right.data(), expected.left.data(), expected.right.data(),
                                   block, adding);
                    Stereo& target = inPlace ? in : out;
                    if (adding)
                        effect.processAdding(in.channels(), target.channels(), block);
                    else
                        effect.processReplacing(in.channels(), target.channels(), block);
                    ASSERT_EQ(bitDifference(target, expected), "") << "program " << program << " block " << block
                                                                   << " adding " << adding << " in place " << inPlace;
                }
                // A parameter change between blocks takes effect at the next one.
                effect.setParameter(0, 0.8f);
                effect.setParameter(1, 0.37f);
                oracle.setParameters(0.8f, 0.37f);
                Stereo in(700, 99), out(700), expected(700);
                oracle.process(in.left.data(), in.right.data(), expected.left.data(), expected.right.data(), 700,
                               false);
                effect.processReplacing(in.channels(), out.channels(), 700);
                ASSERT_EQ(bitDifference(out, expected), "") << "after a change, program " << program;
            }
        }
    }
}

TEST(Processing, BedroomStudioImpulse) {
    EffectInstance effect = newEffect();
    Stereo in(200), out(200);
    in.left[0] = 1.0f;
    effect.processReplacing(in.channels(), out.channels(), 200);
    EXPECT_EQ(out.left[0], 0.85f);
    for (int i = 1; i < 200; ++i) ASSERT_EQ(out.left[i], 0.0f) << i;
    for (int i = 0; i < 200; ++i) ASSERT_EQ(out.right[i], i == 92 ? 0.15f : 0.0f) << i;
}

TEST(Processing, BigHeadDelaysTheLongest) {
    EffectInstance effect = newEffect();
    effect.setProgram(2);
    Stereo in(600), out(600);
    in.right[0] = 1.0f;
    effect.processReplacing(in.channels(), out.channels(), 600);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(out.left[i], i == 511 ? 0.1f : 0.0f) << i;
}

TEST(Processing, PowerOffSilencesTheRingsAndPowerOnKeepsThem) {
    EffectInstance effect = newEffect();  // offset 92
    Stereo loud(1024), out(200);
    std::fill(loud.left.begin(), loud.left.end(), 1.0f);
    std::fill(loud.right.begin(), loud.right.end(), 1.0f);
    effect.processReplacing(loud.channels(), loud.channels(), 1024);

    Stereo silence(200);
    for (HostInt on : {1, 7, -3}) {
        effect.dispatch(kEffectPower, 0, on);
        effect.processReplacing(silence.channels(), out.channels(), 1);
        EXPECT_NE(out.left[0], 0.0f) << "resume must keep the history";
    }
    effect.power(false);
    effect.power(true);
    effect.processReplacing(silence.channels(), out.channels(), 200);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(out.left[i], 0.0f) << i;
}

TEST(Processing, NothingToProcessWritesNothing) {
    EffectInstance effect = newEffect();
    effect.setParameter(1, 0.0f);
    Stereo in(8, 3), out(8, 4);
    const std::vector<float> beforeLeft = out.left, beforeRight = out.right;
    for (std::int32_t frames : {0, -1, -512, INT32_MIN}) {
        effect.processReplacing(in.channels(), out.channels(), frames);
        effect.processAdding(in.channels(), out.channels(), frames);
    }
    effect.processReplacing(nullptr, out.channels(), 8);
    effect.processReplacing(in.channels(), nullptr, 8);
    effect.processAdding(nullptr, nullptr, 8);
    float* halfNull[2] = {in.left.data(), nullptr};
    float* otherHalfNull[2] = {nullptr, in.right.data()};
    for (float** inputs : {halfNull, otherHalfNull, in.channels()}) {
        float** outputs = inputs == in.channels() ? halfNull : out.channels();
        effect.processReplacing(inputs, outputs, 8);
        effect.processAdding(inputs, outputs, 8);
    }
    EXPECT_EQ(bitDifference(out.left, beforeLeft), "") << "left untouched";
    EXPECT_EQ(bitDifference(out.right, beforeRight), "") << "right untouched";

    // Nothing reached the rings either: at the longest delay a silent input
    // reads back only the silence the new effect started with.
    effect.setParameter(0, 1.0f);
    effect.setParameter(1, 1.0f);
    std::vector<float> silence(600, 0.0f), left(600, 1.0f), right(600, 1.0f);
    float* quiet[2] = {silence.data(), silence.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect.processReplacing(quiet, outputs, 600);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(left[i], 0.0f) << "left frame " << i;
        ASSERT_EQ(right[i], 0.0f) << "right frame " << i;
    }
}

}  // namespace
