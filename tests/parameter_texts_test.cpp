// Program names and parameter texts as a host reads them (opcodes 4 to 8).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/module_under_test.h"

namespace {

constexpr char kGuard = '\x5A';

// Asks for a text into a guarded buffer and checks the module wrote no more
// than `limit` bytes.
std::string guardedText(EffectInstance& effect, std::int32_t opcode, std::int32_t index, std::size_t limit) {
    char buffer[128];
    std::memset(buffer, kGuard, sizeof buffer);
    effect.dispatch(opcode, index, 0, buffer);
    for (std::size_t i = limit; i < sizeof buffer; ++i) {
        EXPECT_EQ(buffer[i], kGuard) << "opcode " << opcode << " wrote byte " << i;
    }
    const void* end = std::memchr(buffer, '\0', limit);
    EXPECT_NE(end, nullptr) << "opcode " << opcode << " left its text unterminated";
    return end ? std::string(buffer) : std::string();
}

TEST(ParameterTexts, NamesAndLabels) {
    EffectInstance effect = newEffect();
    EXPECT_EQ(guardedText(effect, kEffectGetParameterName, 0, 12), "Inter-Aural");
    EXPECT_EQ(guardedText(effect, kEffectGetParameterName, 1, 12), "Inter-Aural");
    EXPECT_EQ(guardedText(effect, kEffectGetParameterLabel, 0, 12), "X-Over (%)");
    EXPECT_EQ(guardedText(effect, kEffectGetParameterLabel, 1, 12), "Delay (ms)");
}

TEST(ParameterTexts, OtherIndicesLeaveTheBufferAlone) {
    EffectInstance effect = newEffect();
    for (std::int32_t opcode : {kEffectGetParameterName, kEffectGetParameterLabel, kEffectGetParameterDisplay}) {
        for (std::int32_t index : {2, 3, -1, INT32_MIN, INT32_MAX}) {
            char buffer[16];
            std::memset(buffer, kGuard, sizeof buffer);
            effect.dispatch(opcode, index, 0, buffer);
            for (char byte : buffer) ASSERT_EQ(byte, kGuard) << "opcode " << opcode << " index " << index;
        }
    }
}

TEST(ParameterTexts, PresetDisplays) {
    const char* expected[4][2] = {{"30.00000", "2.089796"},
                                  {"45.00000", "1.625396"},
                                  {"20.00000", "11.60997"},
                                  {"25.00000", "1.160997"}};
    EffectInstance effect = newEffect();
    for (int program = 0; program < 4; ++program) {
        effect.setProgram(program);
        EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 0, 9), expected[program][0]);
        EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 1, 9), expected[program][1]);
    }
}

TEST(ParameterTexts, DisplaysFollowTheLiveValues) {
    EffectInstance effect = newEffect();
    effect.setParameter(0, 1.0f);
    effect.setParameter(1, 0.0f);
    EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 0, 9), "100.0000");
    EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 1, 9), "0.000000");
    effect.setProgram(2);
    EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 1, 9), "11.60997");
    // Whatever a host sets, the text stays inside the field.
    const std::uint32_t patterns[] = {0x7F800000, 0xFF800000, 0x7FC00000, 0x7F7FFFFF, 0xFF7FFFFF,
                                      0x00000001, 0x80000001, 0x4B18967F, 0xCB18967F, 0x4CBEBC20};
    for (std::uint32_t bits : patterns) {
        for (int index = 0; index < 2; ++index) {
            effect.setParameter(index, floatFromBits(bits));
            EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, index, 9).size(), 8u) << std::hex << bits;
        }
    }
    effect.setParameter(0, floatFromBits(0x7F800000));
    EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 0, 9), " Huge!  ");
    effect.setParameter(0, floatFromBits(0x7FC00000));
    EXPECT_EQ(guardedText(effect, kEffectGetParameterDisplay, 0, 9), "-0.00000");
}

TEST(ProgramNames, RenameTheCurrentProgramOnly) {
    EffectInstance effect = newEffect();
    EXPECT_EQ(guardedText(effect, kEffectGetProgramName, 0, 32), "Bedroom studio");
    effect.setProgram(1);
    effect.setProgramName("Late night");
    EXPECT_EQ(guardedText(effect, kEffectGetProgramName, 0, 32), "Late night");
    const char* others[] = {"Bedroom studio", nullptr, "Big Head", "Car stereo"};
    for (int program : {0, 2, 3}) {
        effect.setProgram(program);
        EXPECT_EQ(effect.programName(), others[program]);
    }
    effect.setProgram(1);
    EXPECT_EQ(effect.programName(), "Late night");
    effect.setProgramName("");
    EXPECT_EQ(effect.programName(), "");
}

TEST(ProgramNames, LongNamesAreCutToThirtyOneCharacters) {
    EffectInstance effect = newEffect();
    const std::string exact(31, 'x');
    effect.setProgramName(exact);
    EXPECT_EQ(guardedText(effect, kEffectGetProgramName, 0, 32), exact);

    std::string longName;
    for (int i = 0; i < 300; ++i) longName += static_cast<char>('a' + i % 26);
    effect.setProgramName(longName);
    EXPECT_EQ(guardedText(effect, kEffectGetProgramName, 0, 32), longName.substr(0, 31));

    // An unterminated name: the module reads no further than it keeps.
    char unterminated[31];
    std::memset(unterminated, 'q', sizeof unterminated);
    char* heap = new char[31];
    std::memcpy(heap, unterminated, 31);
    effect.dispatch(kEffectSetProgramName, 0, 0, heap);
    delete[] heap;
    EXPECT_EQ(effect.programName(), std::string(31, 'q'));
    // The neighbouring program is intact.
    effect.setProgram(1);
    EXPECT_EQ(effect.programName(), "Lounge room");
}

TEST(ProgramNames, NullTextPointersAreIgnored) {
    EffectInstance effect = newEffect();
    for (std::int32_t opcode = kEffectSetProgramName; opcode <= kEffectGetParameterName; ++opcode)
        for (std::int32_t index : {0, 1, 2}) EXPECT_EQ(effect.dispatch(opcode, index, 0, nullptr), 0);
    EXPECT_EQ(effect.programName(), "Bedroom studio");
}

}  // namespace
