// What the processor promises beyond matching the oracle: the blend and the
// delay the parameters ask for, values outside their range held or applied
// as given, no output beyond the input, silence back as silence, non-finite
// samples gone once the rings pass them, and blocks that join seamlessly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "crossfeed/crossfeed_processor.h"
#include "support/reference_crossfeed.h"
#include "support/samples.h"

namespace {

using Output = CrossfeedProcessor::Output;

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void run(CrossfeedProcessor& processor, Stereo& in, Stereo& out, Output output = Output::replace) {
    processor.process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), in.frames(), output);
}

// The frame at which an impulse on the left input reaches the right output.
int measuredDelay(float delay) {
    CrossfeedProcessor processor;
    processor.setCrossLevel(1.0f);
    processor.setNormalisedDelay(delay);
    Stereo in(600), out(600);
    in.left[0] = 1.0f;
    run(processor, in, out);
    for (int i = 0; i < 600; ++i)
        if (out.right[i] != 0.0f) return i;
    return -1;
}

TEST(ProcessorBounds, TheLevelSetsTheBlend) {
    CrossfeedProcessor processor;
    processor.setNormalisedDelay(0.18f);
    Stereo in(300, 5), out(300), added(300, 6);
    const Stereo before = added;
    run(processor, in, out);
    EXPECT_EQ(bitDifference(out, in), "") << "level 0 passes the input through";
    run(processor, in, added, Output::add);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(added.left[i], static_cast<float>(double(before.left[i]) + in.left[i])) << "level 0 adds, " << i;

    processor.setCrossLevel(1.0f);
    processor.setNormalisedDelay(0.0f);
    run(processor, in, out);
    for (int i = 0; i < 300; ++i) {
        const float mean = static_cast<float>((double(in.left[i]) + in.right[i]) / 2.0);
        ASSERT_EQ(out.left[i], mean) << i;
        ASSERT_EQ(out.right[i], mean) << i;
    }
}

TEST(ProcessorBounds, TheDelayGrowsOverTheWholeRangeAndStaysInsideTheRing) {
    int previous = -1;
    for (int step = 0; step <= 512; ++step) {
        const int delay = measuredDelay(static_cast<float>(step) / 512.0f);
        ASSERT_EQ(delay, std::min(step, 511)) << "a whole ring's delay is the longest, not none";
        ASSERT_GE(delay, previous);
        previous = delay;
    }
    const struct {
        float delay;
        int samples;
    } beyond[] = {{-0.25f, 0}, {-kInf, 0}, {floatFromBits(0x7FC00000), 0}, {floatFromBits(0xFFC00001), 0},
                  {1.0000001f, 511}, {2.0f, 511}, {kInf, 511}, {3e38f, 511}};
    for (const auto& c : beyond) EXPECT_EQ(measuredDelay(c.delay), c.samples) << c.delay;
}

TEST(ProcessorBounds, LevelsOutsideTheRangeAreAppliedAsGiven) {
    // No clamping: the output follows the formula even where it exceeds the
    // input or turns to NaN.
    CrossfeedProcessor processor;
    ReferenceCrossfeed oracle;
    processor.setNormalisedDelay(0.18f);
    std::uint32_t seed = 70;
    for (float level : {3.0f, -1.0f, 1e20f, kInf, -kInf, kNaN}) {
        processor.setCrossLevel(level);
        oracle.setParameters(level, 0.18f);
        Stereo in(300, seed += 2), out(300), expected(300);
        run(processor, in, out);
        oracle.process(in.left.data(), in.right.data(), expected.left.data(), expected.right.data(), 300, false);
        ASSERT_EQ(bitDifference(out, expected), "") << "level " << level;
    }
    processor.setCrossLevel(3.0f);
    processor.setNormalisedDelay(0.0f);
    Stereo impulse(4), out(4);
    impulse.left[0] = 1.0f;
    run(processor, impulse, out);
    EXPECT_EQ(out.left[0], -0.5f);
    EXPECT_EQ(out.right[0], 1.5f);
}

TEST(ProcessorBounds, NonFiniteSamplesLeaveNoTraceOnceTheRingsHavePassedThem) {
    CrossfeedProcessor processor;
    processor.setNormalisedDelay(1.0f);  // the longest delay keeps them longest
    for (float level : {0.0f, 0.3f, 1.0f}) {
        processor.setCrossLevel(level);
        Stereo poison(5), out(5);
        poison.left = {kNaN, kInf, -kInf, 3.4e38f, kNaN};
        poison.right = {-kInf, kNaN, kInf, -3.4e38f, kInf};
        run(processor, poison, out);
        // 511 frames of delay plus the 5 poisoned frames wash out of the ring.
        Stereo flush(520, 91), flushed(520), clean(600, 92), cleanOut(600);
        run(processor, flush, flushed);
        run(processor, clean, cleanOut);
        for (int i = 0; i < 600; ++i)
            ASSERT_TRUE(std::isfinite(cleanOut.left[i]) && std::isfinite(cleanOut.right[i])) << level << " " << i;
    }
}

// Noise whose amplitude changes from block to block, from subnormal to the
// largest finite float, so the bound is tested where rounding is tight.
std::vector<float> signal(int frames, std::uint32_t seed) {
    static const float kScales[] = {1.0f, 3.4e38f, 1e-39f, 0.5f, 1e30f, 1e-3f};
    std::vector<float> samples = noise(static_cast<std::size_t>(frames), seed);
    for (float& sample : samples) sample *= kScales[seed % 6];
    return samples;
}

// With parameters in 0..1 the crossfeed is a weighted mean: no output can
// grow beyond the input, and silence comes back as silence once the rings
// have drained.
TEST(ProcessorBounds, OutputsStayFiniteAndWithinTheInputAtEveryBlockSize) {
    const struct {
        float level, delay;
    } settings[] = {{1.0f, 1.0f}, {0.0f, 0.0f}, {1e-9f, 0.5f}, {0.73f, 0.001f}, {0.45f, 0.9999f}};
    std::uint32_t seed = 1;
    for (int block : {1, 2, 3, 7, 64, 127, 511, 512, 513, 1023, 4096, 8191, 8192}) {
        for (Output output : {Output::replace, Output::add}) {
            const auto& setting = settings[seed % std::size(settings)];
            CrossfeedProcessor processor;
            processor.setCrossLevel(setting.level);
            processor.setNormalisedDelay(setting.delay);
            const int offset = ReferenceCrossfeed::offsetFor(setting.delay);
            // Enough blocks to wrap the rings, then enough silence to drain them.
            const int loudBlocks = std::max(3, 1100 / block);
            const int silentBlocks = (offset + block) / block + 1;
            float seen = 0.0f;
            int silentFrames = 0;
            for (int b = 0; b < loudBlocks + silentBlocks; ++b) {
                const bool silent = b >= loudBlocks;
                Stereo in(block), out(block);  // adding onto silence isolates what the effect contributes
                if (!silent) in.left = signal(block, ++seed), in.right = signal(block, ++seed);
                run(processor, in, out, output);
                for (int i = 0; i < block; ++i) {
                    seen = std::max({seen, std::fabs(in.left[i]), std::fabs(in.right[i])});
                    const float l = out.left[i], r = out.right[i];
                    const bool drained = silent && silentFrames + i >= offset;
                    ASSERT_FALSE(!std::isfinite(l) || !std::isfinite(r) || std::fabs(l) > seen || std::fabs(r) > seen ||
                                 (drained && (l != 0.0f || r != 0.0f)))
                        << "block " << block << " level " << setting.level << " delay " << setting.delay << " block #"
                        << b << " frame " << i << ": " << l << ", " << r << " largest input " << seen;
                }
                if (silent) silentFrames += block;
            }
        }
    }
}

// Any block size, resets at block boundaries, sometimes several in a row:
// the stream matches the oracle with its rings cleared at each reset.
TEST(ProcessorBounds, ResetsInMidStreamClearOnlyTheRings) {
    for (int block : {1, 5, 91, 512, 777, 2048}) {
        for (const crossfeed::Preset& preset : crossfeed::kPresets) {
            CrossfeedProcessor processor;
            processor.setCrossLevel(preset.level);
            processor.setNormalisedDelay(preset.delay);
            ReferenceCrossfeed oracle;
            oracle.setParameters(preset.level, preset.delay);
            std::uint32_t state = static_cast<std::uint32_t>(block * 31) + bitsOf(preset.delay);
            for (int b = 0; b < std::max(6, 3000 / block); ++b) {
                state = state * 1664525u + 1013904223u;
                for (unsigned resets = state >> 29; resets > 4; --resets) {
                    processor.reset();
                    oracle.suspend();
                }
                Stereo stream(block, state | 1), expected(block);
                oracle.process(stream.left.data(), stream.right.data(), expected.left.data(), expected.right.data(),
                               block, false);
                run(processor, stream, stream);
                ASSERT_EQ(bitDifference(stream, expected), "") << "block " << block << " " << preset.name << " #" << b;
            }
        }
    }
}

// A host may cut a block anywhere (at a parameter change, say): the pieces
// give the bits of the whole.
TEST(ProcessorBounds, BlocksCutAnywhereJoinSeamlessly) {
    Stereo in(700, 21), whole(700);
    CrossfeedProcessor once;
    once.setCrossLevel(0.45f);
    once.setNormalisedDelay(0.14f);
    run(once, in, whole);
    for (std::size_t cut : {0u, 1u, 3u, 64u, 71u, 72u, 511u, 512u, 513u, 699u, 700u}) {
        CrossfeedProcessor pieces;
        pieces.setCrossLevel(0.45f);
        pieces.setNormalisedDelay(0.14f);
        Stereo out(700);
        pieces.process(in.left.data(), in.right.data(), out.left.data(), out.right.data(), cut, Output::replace);
        pieces.process(in.left.data() + cut, in.right.data() + cut, out.left.data() + cut, out.right.data() + cut,
                       700 - cut, Output::replace);
        EXPECT_EQ(bitDifference(out, whole), "") << "cut at " << cut;
    }
}

}  // namespace
