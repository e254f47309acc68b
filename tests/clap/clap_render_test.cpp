// The plug-in, loaded from its file, renders what the processor and the VST
// module render: every program, random settings, changes inside blocks,
// blocks of any size, in place or not, whatever the host's float settings.
#include <gtest/gtest.h>

#include <string>

#include "clap/clap_fixture.h"

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

const std::vector<std::uint32_t> kBlocks = {512, 1, 64, 4096, 3, 511, 7, 1000, 128, 2};

std::vector<std::uint32_t> rotated(std::uint32_t by) {
    std::vector<std::uint32_t> blocks;
    for (std::size_t i = 0; i < kBlocks.size(); ++i) blocks.push_back(kBlocks[(i + by) % kBlocks.size()]);
    return blocks;
}

TEST(ClapRendering, EveryProgramGivesTheModulesBits) {
    const Stereo input(20000, 5);
    for (std::int32_t program = 0; program < crossfeed::kPresetCount; ++program) {
        TestHost host;
        ClapInstance instance(clapLibrary(), host);
        ASSERT_TRUE(instance);
        // Loaded before activation, and while active, where the audio
        // thread picks it up at its next block.
        const std::string key = std::to_string(program);
        const bool early = program % 2 == 0;
        EXPECT_TRUE(!early || instance.loadPreset(key.c_str()));
        ASSERT_TRUE(instance.activate());
        EXPECT_TRUE(early || instance.loadPreset(key.c_str()));
        const Stereo out = renderClap(instance, input, rotated(program), {}, program >= 2);
        EXPECT_EQ(bitDifference(out, renderModule(input, program, {})), "") << "program " << program;
        EXPECT_EQ(bitDifference(out, renderProcessor(input, program, {})), "") << "program " << program;
    }
    TestHost host;
    ClapInstance fresh(clapLibrary(), host);
    ASSERT_TRUE(fresh.activate());
    EXPECT_EQ(bitDifference(renderClap(fresh, input, kBlocks, {}), renderModule(input, 0, {})), "")
        << "a new instance is on the first program";
}

TEST(ClapRendering, RandomSettingsFromTheFirstFrameGiveTheModulesBits) {
    const Stereo input(9000, 8);
    for (std::uint32_t seed = 1; seed <= 16; ++seed) {
        const std::vector<float> random = noise(2, seed * 31);
        const std::vector<Change> settings = {
            {0, crossfeed::kLevelParameter, std::abs(random[0]) * 100.0},
            {0, crossfeed::kDelayParameter, std::abs(random[1]) * kLongestDelay}};
        TestHost host;
        ClapInstance instance(clapLibrary(), host);
        ASSERT_TRUE(instance.activate());
        const Stereo out = renderClap(instance, input, rotated(seed), settings, seed % 2 == 0);
        EXPECT_EQ(bitDifference(out, renderModule(input, 0, settings)), "")
            << settings[0].plain << " %, " << settings[1].plain << " ms";
        EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, settings)), "")
            << settings[0].plain << " %, " << settings[1].plain << " ms";
    }
}

// The values the LV2 ports take for the second program.
TEST(ClapRendering, TheLoungeRoomsPortValuesGiveItsBits) {
    const Stereo input(5000, 12);
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    const Stereo out = renderClap(
        instance, input, kBlocks, {{0, crossfeed::kLevelParameter, 45.0}, {0, crossfeed::kDelayParameter, 1.625396}});
    EXPECT_EQ(bitDifference(out, renderModule(input, 1, {})), "");
}

TEST(ClapRendering, ChangesInsideBlocksTakeEffectAtTheirFrames) {
    const Stereo input(30000, 3);
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const std::vector<Change> changes = randomChanges(60, 30000, seed);
        TestHost host;
        ClapInstance instance(clapLibrary(), host);
        ASSERT_TRUE(instance.activate());
        const Stereo out = renderClap(instance, input, rotated(seed), changes, seed % 3 == 0);
        EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, changes)), "") << "seed " << seed;
        EXPECT_EQ(bitDifference(out, renderModule(input, 0, changes)), "") << "seed " << seed;
    }
}

TEST(ClapRendering, FlushedValuesHoldFromTheNextBlock) {
    const Stereo input(2000, 9);
    const std::vector<Change> changes = {{0, crossfeed::kLevelParameter, 80.0},
                                         {0, crossfeed::kDelayParameter, 0.5},
                                         {1200, crossfeed::kLevelParameter, 10.0},
                                         {1200, crossfeed::kDelayParameter, 9.0}};
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    EventList events;
    events.add(0, changes[0].parameter, changes[0].plain);
    events.add(0, changes[1].parameter, changes[1].plain);
    instance.flush(events);  // inactive: on the main thread
    ASSERT_TRUE(instance.activate());
    Stereo in = input, out(input.frames());
    instance.process(in.channels(), out.channels(), 0, 1200, nullptr);
    events.clear();
    events.add(0, changes[2].parameter, changes[2].plain);
    events.add(0, changes[3].parameter, changes[3].plain);
    instance.flush(events);  // active: between blocks
    EXPECT_EQ(instance.value(crossfeed::kLevelParameter), 10.0);
    instance.process(in.channels(), out.channels(), 1200, 800, nullptr);
    EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, changes)), "");
}

#if defined(__SSE2__)
TEST(ClapRendering, TheHostsFloatSettingsChangeNoBits) {
    // Tiny samples: flush-to-zero or another rounding would change them.
    Stereo input(3000, 13);
    for (std::size_t i = 0; i < input.frames(); ++i) {
        input.left[i] *= 1e-37f;
        input.right[i] *= 3e-38f;
    }
    const std::vector<Change> changes = randomChanges(10, 3000, 77);
    const Stereo expected = renderProcessor(input, 0, changes);
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    const unsigned int saved = _mm_getcsr();
    // Flush-to-zero, denormals-are-zero, round toward zero.
    const unsigned int hostile = saved | 0x8040 | 0x6000;
    _mm_setcsr(hostile);
    const bool active = instance.activate();
    const Stereo out = renderClap(instance, input, kBlocks, changes);
    const unsigned int during = _mm_getcsr();
    _mm_setcsr(saved);
    ASSERT_TRUE(active);
    EXPECT_EQ(during & ~0x3Fu, hostile & ~0x3Fu) << "the host's settings come back";
    EXPECT_EQ(bitDifference(out, expected), "");
}
#endif

}  // namespace
