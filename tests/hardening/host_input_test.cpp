// What a careless or hostile host can send beyond the ordinary calls: odd
// callbacks, stale or foreign records, arguments an opcode does not use,
// sample rates and block sizes of any value. Samples and parameters of any
// value reach the processor, whose own suite holds it to them.
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

// Runs one block through the effect and the oracle and compares every sample.
void expectOracle(EffectInstance& effect, ReferenceCrossfeed& oracle, std::uint32_t seed, const char* what) {
    Stereo in(37, seed), out(37), expected(37);
    oracle.setParameters(effect.getParameter(0), effect.getParameter(1));
    oracle.process(in.left.data(), in.right.data(), expected.left.data(), expected.right.data(), 37, false);
    effect.processReplacing(in.channels(), out.channels(), 37);
    ASSERT_EQ(bitDifference(out, expected), "") << what;
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
            expectOracle(effect, oracle, seed += 2, "after rate and size");
        }
        // Delay texts are shown at 44.1 kHz whatever the host runs at.
        EXPECT_EQ(effect.parameterDisplay(1), "2.089796") << rate;
        EXPECT_EQ(effect.parameterDisplay(0), "30.00000") << rate;
    }
}

}  // namespace
