// The module as a host sees it: the exported entry, the record, the
// dispatcher's opcodes and the life of an effect.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/module_under_test.h"
#include "support/recording_host.h"

namespace {

std::vector<HostCall>& hostCalls = RecordingHost::calls();
HostInt& versionAnswer = RecordingHost::versionAnswer();
const HostCallback recordingHost = RecordingHost::callback;

TEST(ModuleEntry, AsksTheHostVersionOnceWithNothingElse) {
    hostCalls.clear();
    versionAnswer = 2400;
    EffectInstance effect(moduleUnderTest().instantiate(recordingHost));
    ASSERT_TRUE(effect);
    ASSERT_EQ(hostCalls.size(), 1u);
    const HostCall& call = hostCalls[0];
    EXPECT_EQ(call.record, nullptr);
    EXPECT_EQ(call.opcode, kHostVersion);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.pointer, nullptr);
    EXPECT_EQ(call.option, 0.0f);
    // The effect itself sends nothing while it works.
    float left[4] = {1, 2, 3, 4}, right[4] = {4, 3, 2, 1};
    float* channels[2] = {left, right};
    effect.setProgram(2);
    effect.setParameter(0, 0.5f);
    effect.processReplacing(channels, channels, 4);
    EXPECT_EQ(effect.close(), 1);
    EXPECT_EQ(hostCalls.size(), 1u);
}

TEST(ModuleEntry, RefusesHostsItCannotWorkWith) {
    hostCalls.clear();
    versionAnswer = 0;
    EXPECT_EQ(moduleUnderTest().instantiate(recordingHost), nullptr);
    EXPECT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(moduleUnderTest().entry()(nullptr), nullptr);
    versionAnswer = 1;
}

TEST(ModuleEntry, RecordCarriesTheEffectsIdentity) {
    EffectInstance effect = newEffect();
    const EffectRecord* record = effect.record();
    ASSERT_NE(record, nullptr);
    const unsigned char magicBytes[4] = {0x50, 0x74, 0x73, 0x56};
    EXPECT_EQ(std::memcmp(&record->magic, magicBytes, 4), 0);
    EXPECT_EQ(record->programCount, 4);
    EXPECT_EQ(record->parameterCount, 2);
    EXPECT_EQ(record->inputCount, 2);
    EXPECT_EQ(record->outputCount, 2);
    EXPECT_EQ(record->flags, kFlagReplacing);
    EXPECT_EQ(record->reserved1, 0);
    EXPECT_EQ(record->reserved2, 0);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realtimeQualities, 0);
    EXPECT_EQ(record->offlineQualities, 0);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_NE(record->object, nullptr);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->uniqueId, fourCharCode('Z', 'm', 'y', 'r'));
    EXPECT_EQ(record->uniqueId, 0x5A6D7972);
    EXPECT_EQ(record->version, 1);
    EXPECT_NE(record->dispatchEntry, nullptr);
    EXPECT_NE(record->processEntry, nullptr);
    EXPECT_NE(record->processReplacingEntry, nullptr);
    EXPECT_NE(record->setParameterEntry, nullptr);
    EXPECT_NE(record->getParameterEntry, nullptr);
    for (char byte : record->future) EXPECT_EQ(byte, 0);
}

TEST(ModuleEntry, EffectsAreIndependentAndCloseAnswersOne) {
    EffectInstance first = newEffect();
    EffectInstance second = newEffect();
    ASSERT_NE(first.record(), second.record());
    EXPECT_NE(first.record()->object, second.record()->object);

    first.setProgram(3);
    first.setParameter(0, 0.9f);
    first.setProgramName("Mine");
    EXPECT_EQ(second.program(), 0);
    EXPECT_EQ(second.getParameter(0), 0.3f);
    EXPECT_EQ(second.programName(), "Bedroom studio");

    // A loud history in one effect's rings leaves the other's silent.
    std::vector<float> loud(600, 1.0f), silence(600, 0.0f), out(600, 0.0f), out2(600, 0.0f);
    float* in1[2] = {loud.data(), loud.data()};
    float* in2[2] = {silence.data(), silence.data()};
    float* outs[2] = {out.data(), out2.data()};
    first.processReplacing(in1, outs, 600);
    second.processReplacing(in2, outs, 600);
    for (float sample : out) ASSERT_EQ(sample, 0.0f);

    EXPECT_EQ(first.close(), 1);
    EXPECT_EQ(second.getParameter(0), 0.3f);
    EXPECT_EQ(second.close(), 1);
}

TEST(Dispatcher, AnswersEveryOpcode) {
    EffectInstance effect = newEffect();
    char buffer[64];
    EXPECT_EQ(effect.dispatch(kEffectIdentify), 0x4E764566);
    EXPECT_EQ(effect.dispatch(kEffectOpen), 0);
    EXPECT_EQ(effect.dispatch(kEffectGetVu), 0);
    for (std::int32_t opcode : {13, 14, 15, 16, 17, 18, 19, 20, 21, 23, 24, 100, 1000, -1, INT_MIN, INT_MAX})
        EXPECT_EQ(effect.dispatch(opcode, 3, 5, buffer, 1.0f), 0) << "opcode " << opcode;
    EXPECT_EQ(effect.dispatch(kEffectSetSampleRate, 0, 0, nullptr, 96000.0f), 0);
    EXPECT_EQ(effect.dispatch(kEffectSetBlockSize, 0, 256), 0);
    EXPECT_EQ(effect.dispatch(kEffectPower, 0, 1), 0);
    // None of these disturbed the effect.
    EXPECT_EQ(effect.program(), 0);
    EXPECT_EQ(effect.getParameter(0), 0.3f);
    EXPECT_EQ(effect.getParameter(1), 0.18f);
}

TEST(Dispatcher, SelectsOnlyExistingPrograms) {
    EffectInstance effect = newEffect();
    effect.setProgram(3);
    EXPECT_EQ(effect.program(), 3);
    const HostInt huge = HostInt(1) << (sizeof(HostInt) * 8 - 2);
    const HostInt refused[] = {4, 5, -1, -4, INT_MIN, INT_MAX, huge, -huge};
    for (HostInt value : refused) {
        EXPECT_EQ(effect.dispatch(kEffectSetProgram, 0, value), 0);
        EXPECT_EQ(effect.program(), 3) << "value " << value;
        EXPECT_EQ(effect.getParameter(0), 0.25f);
    }
    effect.setProgram(0);
    EXPECT_EQ(effect.program(), 0);
}

// Hosts of later interface versions ask for the effect's identity; the
// names land in 32 bytes at most, and nothing else of the effect moves.
std::string identityText(EffectInstance& effect, std::int32_t opcode, std::int32_t index, HostInt& answer) {
    char buffer[64];
    std::memset(buffer, 0x5A, sizeof buffer);
    answer = effect.dispatch(opcode, index, -1, buffer);
    for (std::size_t i = kIdentityTextBytes; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0x5A) << "overrun at " << i;
    if (!std::memchr(buffer, '\0', kIdentityTextBytes)) return "(unterminated)";
    return buffer;
}

TEST(Identity, NamesVersionCategoryAndInterfaceVersion) {
    EffectInstance effect = newEffect();
    HostInt answer = 0;
    EXPECT_EQ(identityText(effect, kEffectGetEffectName, 0, answer), "Crossfeed");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(identityText(effect, kEffectGetVendorString, 0, answer), "The Crossfeed developers");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(identityText(effect, kEffectGetProductString, 0, answer), "Crossfeed");
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(effect.dispatch(kEffectGetVendorVersion), 1000);
    EXPECT_EQ(effect.dispatch(kEffectGetCategory), 1);
    EXPECT_EQ(effect.dispatch(kEffectGetInterfaceVersion), 2400);
    for (std::int32_t opcode : {kEffectGetEffectName, kEffectGetVendorString, kEffectGetProductString})
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
}

TEST(Identity, ProgramNamesByNumberLeaveTheCurrentProgram) {
    EffectInstance effect = newEffect();
    effect.setProgram(2);
    effect.setProgramName("Renamed");
    const char* names[] = {"Bedroom studio", "Lounge room", "Renamed", "Car stereo"};
    HostInt answer = 0;
    for (std::int32_t program = 0; program < 4; ++program) {
        EXPECT_EQ(identityText(effect, kEffectGetProgramNameIndexed, program, answer), names[program]);
        EXPECT_EQ(answer, 1);
    }
    for (std::int32_t program : {-1, 4, 5, INT_MIN, INT_MAX}) {
        char buffer[8];
        std::memset(buffer, 0x5A, sizeof buffer);
        EXPECT_EQ(effect.dispatch(kEffectGetProgramNameIndexed, program, -1, buffer), 0) << program;
        for (char byte : buffer) EXPECT_EQ(byte, 0x5A) << program;
    }
    EXPECT_EQ(effect.dispatch(kEffectGetProgramNameIndexed, 0, -1, nullptr), 0);
    EXPECT_EQ(effect.program(), 2);
    EXPECT_EQ(effect.getParameter(0), 0.2f);
    EXPECT_EQ(effect.programName(), "Renamed");
}

TEST(Identity, BothParametersCanBeAutomatedAndLaterQueriesAreDeclined) {
    EffectInstance effect = newEffect();
    EXPECT_EQ(effect.dispatch(kEffectCanBeAutomated, 0), 1);
    EXPECT_EQ(effect.dispatch(kEffectCanBeAutomated, 1), 1);
    for (std::int32_t index : {-1, 2, INT_MIN, INT_MAX}) EXPECT_EQ(effect.dispatch(kEffectCanBeAutomated, index), 0);
    // Can-do strings, bypass, tail size, pin properties, process precision,
    // start and stop of processing, and the rest of that version's queries.
    char canDo[] = "receiveVstEvents";
    for (std::int32_t opcode : {25, 27, 28, 30, 31, 32, 33, 34, 36, 37, 38, 39, 40, 41, 42, 43, 44, 46, 50, 51, 52,
                                53, 54, 55, 56, 57, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74,
                                75, 76, 77, 78})
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, canDo, 0.0f), 0) << "opcode " << opcode;
    EXPECT_STREQ(canDo, "receiveVstEvents");
    EXPECT_EQ(effect.program(), 0);
}

}  // namespace
