// What a careless or hostile host can send beyond the ordinary calls: odd
// callbacks, stale or foreign records, arguments an opcode does not use,
// sample rates and block sizes of any value, samples and levels of any value.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

HostInt versionAnswer = 1;
int callsAfterCreation = 0;
bool created = false;

HostInt EFFECT_CALL oddHost(EffectRecord*, std::int32_t opcode, std::int32_t, HostInt, void*, float) {
    if (created) ++callsAfterCreation;
    return opcode == kHostVersion ? versionAnswer : -1;
}

struct Block {
    Block(int frames, std::uint32_t seed)
        : left(noise(frames, seed)), right(noise(frames, seed + 1)), outLeft(frames), outRight(frames) {}
    float** in() {
        inputs[0] = left.data();
        inputs[1] = right.data();
        return inputs;
    }
    float** out() {
        outputs[0] = outLeft.data();
        outputs[1] = outRight.data();
        return outputs;
    }
    std::vector<float> left, right, outLeft, outRight;
    float* inputs[2];
    float* outputs[2];
};

// Runs one block through the effect and the oracle and compares every sample.
void expectOracle(EffectInstance& effect, ReferenceCrossfeed& oracle, Block& block, const char* what) {
    const int frames = static_cast<int>(block.left.size());
    std::vector<float> expectedLeft(frames), expectedRight(frames);
    oracle.setParameters(effect.getParameter(0), effect.getParameter(1));
    oracle.process(block.left.data(), block.right.data(), expectedLeft.data(), expectedRight.data(), frames, false);
    effect.processReplacing(block.in(), block.out(), frames);
    for (int i = 0; i < frames; ++i) {
        ASSERT_TRUE(sameSample(block.outLeft[i], expectedLeft[i])) << what << " left " << i;
        ASSERT_TRUE(sameSample(block.outRight[i], expectedRight[i])) << what << " right " << i;
    }
}

TEST(HostInput, AnyNonZeroVersionCreatesAndTheHostIsNotCalledAgain) {
    const HostInt answers[] = {1, -1, INT_MIN, INT_MAX, std::numeric_limits<HostInt>::min()};
    for (HostInt answer : answers) {
        versionAnswer = answer;
        created = false;
        callsAfterCreation = 0;
        EffectInstance effect(moduleUnderTest().instantiate(oddHost));
        ASSERT_TRUE(effect) << answer;
        created = true;
        char text[64];
        float samples[8] = {};
        float* channels[2] = {samples, samples + 4};
        for (std::int32_t opcode = 0; opcode <= 23; ++opcode)
            if (opcode != kEffectClose) effect.dispatch(opcode, 0, 1, text, 1.0f);
        effect.setParameter(0, 0.5f);
        effect.processReplacing(channels, channels, 4);
        effect.processAdding(channels, channels, 4);
        EXPECT_EQ(effect.close(), 1);
        EXPECT_EQ(callsAfterCreation, 0) << answer;
    }
    versionAnswer = 1;
    created = false;
}

TEST(HostInput, StaleOrForeignRecordsAreIgnored) {
    EffectInstance effect = newEffect();
    EffectRecord* live = effect.record();
    // A host's copy of the record whose object it cleared.
    EffectRecord orphan;
    std::memcpy(&orphan, live, sizeof orphan);
    orphan.object = nullptr;
    char text[64] = "untouched";
    float samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float* channels[2] = {samples, samples + 4};
    for (EffectRecord* record : {&orphan, static_cast<EffectRecord*>(nullptr)}) {
        for (std::int32_t opcode = 0; opcode <= 23; ++opcode)
            EXPECT_EQ(live->dispatchEntry(record, opcode, 0, 0, text, 0.0f), 0) << opcode;
        live->setParameterEntry(record, 0, 0.9f);
        EXPECT_EQ(live->getParameterEntry(record, 0), 0.0f);
        live->processReplacingEntry(record, channels, channels, 4);
        live->processEntry(record, channels, channels, 4);
    }
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(samples[0], 1.0f);
    // The real effect saw none of it, not even the close.
    EXPECT_EQ(effect.getParameter(0), 0.3f);
    EXPECT_EQ(effect.programName(), "Bedroom studio");
    EXPECT_EQ(effect.close(), 1);
}

TEST(HostInput, ArgumentsAnOpcodeDoesNotUseAreNeverTouched) {
    EffectInstance effect = newEffect();
    effect.setProgram(3);
    // Never dereferenced: any access faults, and the sanitizer build reports it.
    void* const wild = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x10));
    const HostInt values[] = {0, 1, -1, INT_MAX, std::numeric_limits<HostInt>::max()};
    const float options[] = {0.0f, kNaN, -kInf, 1e30f};
    const std::int32_t indices[] = {0, 1, -1, INT_MIN, INT_MAX};
    for (std::int32_t opcode = 0; opcode <= 40; ++opcode) {
        // Close ends the effect; 2, 4 to 8 and 29 use their arguments; 12 suspends.
        if (opcode == kEffectClose || opcode == kEffectSetProgram || opcode == kEffectPower ||
            (opcode >= kEffectSetProgramName && opcode <= kEffectGetParameterName) ||
            opcode == kEffectGetProgramNameIndexed)
            continue;
        for (HostInt value : values)
            for (float option : options)
                for (std::int32_t index : indices) effect.dispatch(opcode, index, value, wild, option);
    }
    EXPECT_EQ(effect.program(), 3);
    EXPECT_EQ(effect.getParameter(0), 0.25f);
    EXPECT_EQ(effect.getParameter(1), 0.1f);
    EXPECT_EQ(effect.programName(), "Car stereo");
}

TEST(HostInput, SampleRateAndBlockSizeOfAnyValueChangeNothingAudible) {
    const float rates[] = {0.0f, -44100.0f, kNaN, kInf, -kInf, 1e-40f, 3.4e38f, 8000.0f, 384000.0f};
    const HostInt sizes[] = {0, -1, 1, INT_MIN, INT_MAX, std::numeric_limits<HostInt>::min(),
                             std::numeric_limits<HostInt>::max(), 8192};
    EffectInstance effect = newEffect();
    ReferenceCrossfeed oracle;
    std::uint32_t seed = 40;
    for (float rate : rates) {
        effect.setSampleRate(rate);
        for (HostInt size : sizes) {
            effect.dispatch(kEffectSetBlockSize, 0, size);
            Block block(37, seed += 2);
            expectOracle(effect, oracle, block, "after rate and size");
        }
        // Delay texts are shown at 44.1 kHz whatever the host runs at.
        EXPECT_EQ(effect.parameterDisplay(1), "2.089796") << rate;
        EXPECT_EQ(effect.parameterDisplay(0), "30.00000") << rate;
    }
}

TEST(HostInput, LevelsOutsideTheRangeAreAppliedAsGiven) {
    // What the host asked for: no clamping, so the output follows the formula
    // even where it exceeds the input or turns to NaN.
    const float levels[] = {3.0f, -1.0f, 1e20f, kInf, -kInf, kNaN};
    EffectInstance effect = newEffect();
    ReferenceCrossfeed oracle;
    std::uint32_t seed = 70;
    for (float level : levels) {
        effect.setParameter(0, level);
        Block block(300, seed += 2);
        expectOracle(effect, oracle, block, "level");
    }
    effect.setParameter(0, 3.0f);
    effect.setParameter(1, 0.0f);
    Block block(4, 0);
    block.left = {1.0f, 0.0f, 0.0f, 0.0f};
    block.right = {0.0f, 0.0f, 0.0f, 0.0f};
    effect.processReplacing(block.in(), block.out(), 4);
    EXPECT_EQ(block.outLeft[0], -0.5f);
    EXPECT_EQ(block.outRight[0], 1.5f);
}

TEST(HostInput, NonFiniteSamplesLeaveNoTraceOnceTheRingsHavePassedThem) {
    EffectInstance effect = newEffect();
    for (float level : {0.0f, 0.3f, 1.0f}) {
        effect.setParameter(0, level);
        effect.setParameter(1, 1.0f);  // the longest delay keeps them longest
        Block poison(5, 90);
        poison.left = {kNaN, kInf, -kInf, 3.4e38f, kNaN};
        poison.right = {-kInf, kNaN, kInf, -3.4e38f, kInf};
        effect.processReplacing(poison.in(), poison.out(), 5);
        // 511 frames of delay plus the 5 poisoned frames wash out of the ring.
        Block flush(520, 91);
        effect.processReplacing(flush.in(), flush.out(), 520);
        Block clean(600, 92);
        effect.processReplacing(clean.in(), clean.out(), 600);
        for (int i = 0; i < 600; ++i) {
            ASSERT_TRUE(std::isfinite(clean.outLeft[i])) << level << " " << i;
            ASSERT_TRUE(std::isfinite(clean.outRight[i])) << level << " " << i;
        }
    }
}

TEST(HostInput, OutputsMayAliasInputsChannelForChannelOrCrossed) {
    // Hosts hand over one buffer set for both sides, sometimes with the
    // channels swapped; each frame is read before it is written.
    for (float delay : {0.0f, 0.18f, 1.0f}) {
        for (bool crossed : {false, true}) {
            EffectInstance effect = newEffect();
            effect.setParameter(1, delay);
            ReferenceCrossfeed oracle;
            oracle.setParameters(effect.getParameter(0), effect.getParameter(1));
            for (std::uint32_t b = 0; b < 3; ++b) {
                Block block(700, 120 + 2 * b);
                std::vector<float> expectedLeft(700), expectedRight(700);
                oracle.process(block.left.data(), block.right.data(), expectedLeft.data(), expectedRight.data(), 700,
                               false);
                float* outputs[2] = {crossed ? block.right.data() : block.left.data(),
                                     crossed ? block.left.data() : block.right.data()};
                effect.processReplacing(block.in(), outputs, 700);
                for (int i = 0; i < 700; ++i) {
                    ASSERT_EQ(bitsOf(outputs[0][i]), bitsOf(expectedLeft[i])) << delay << crossed << " " << i;
                    ASSERT_EQ(bitsOf(outputs[1][i]), bitsOf(expectedRight[i])) << delay << crossed << " " << i;
                }
            }
        }
    }
}

}  // namespace
