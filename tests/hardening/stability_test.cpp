// Stability over every sample rate and block size a host may choose: with
// parameters in 0..1 the crossfeed is a weighted mean, so no output can grow
// beyond the input, silence must come back as silence, and power cycles in
// mid-stream clear only the rings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

const float kRates[] = {8000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f};
const int kBlockSizes[] = {1, 2, 3, 7, 64, 127, 511, 512, 513, 1023, 4096, 8191, 8192};

struct Setting {
    float crossLevel, delayAmount;
};
// The ends of both ranges, a weight too small to change the direct one, and
// values in between.
const Setting kSettings[] = {{1.0f, 1.0f}, {0.0f, 0.0f}, {1e-9f, 0.5f}, {0.73f, 0.001f}, {0.45f, 0.9999f}};

// Noise whose amplitude changes from block to block, from subnormal to the
// largest finite float, so the bound is tested where rounding is tight.
std::vector<float> signal(int frames, std::uint32_t seed) {
    static const float kScales[] = {1.0f, 3.4e38f, 1e-39f, 0.5f, 1e30f, 1e-3f};
    std::vector<float> samples = noise(static_cast<std::size_t>(frames), seed);
    const float scale = kScales[seed % 6];
    for (float& sample : samples) sample *= scale;
    return samples;
}

TEST(Stability, OutputsStayFiniteAndWithinTheInputAtEveryRateAndBlockSize) {
    std::uint32_t seed = 1;
    for (float rate : kRates) {
        for (int block : kBlockSizes) {
            for (bool adding : {false, true}) {
                const Setting& setting = kSettings[seed % std::size(kSettings)];
                EffectInstance effect = newEffect();
                effect.setSampleRate(rate);
                effect.setBlockSize(block);
                effect.power(true);
                effect.setParameter(0, setting.crossLevel);
                effect.setParameter(1, setting.delayAmount);
                const int offset = ReferenceCrossfeed::offsetFor(setting.delayAmount);

                // Enough blocks to wrap the rings, then enough silence to drain them.
                const int loudBlocks = std::max(3, 1100 / block);
                const int silentBlocks = (offset + block) / block + 1;
                float seen = 0.0f;
                int silentFrames = 0;
                for (int b = 0; b < loudBlocks + silentBlocks; ++b) {
                    const bool silent = b >= loudBlocks;
                    std::vector<float> left = silent ? std::vector<float>(block, 0.0f) : signal(block, ++seed);
                    std::vector<float> right = silent ? std::vector<float>(block, 0.0f) : signal(block, ++seed);
                    // Adding onto silence isolates what the effect contributes.
                    std::vector<float> outLeft(block, 0.0f), outRight(block, 0.0f);
                    float* in[2] = {left.data(), right.data()};
                    float* out[2] = {outLeft.data(), outRight.data()};
                    if (adding)
                        effect.processAdding(in, out, block);
                    else
                        effect.processReplacing(in, out, block);
                    for (int i = 0; i < block; ++i) {
                        seen = std::max({seen, std::fabs(left[i]), std::fabs(right[i])});
                        const float l = outLeft[i], r = outRight[i];
                        const bool drained = silent && silentFrames + i >= offset;
                        if (!std::isfinite(l) || !std::isfinite(r) || std::fabs(l) > seen || std::fabs(r) > seen ||
                            (drained && (l != 0.0f || r != 0.0f))) {
                            FAIL() << "rate " << rate << " block " << block << " adding " << adding << " level "
                                   << setting.crossLevel << " delay " << setting.delayAmount << " block #" << b
                                   << " frame " << i << ": " << l << ", " << r << " largest input " << seen;
                        }
                    }
                    if (silent) silentFrames += block;
                }
            }
        }
    }
}

TEST(Stability, PowerCyclesInMidStreamClearOnlyTheRings) {
    // Any block size, power off and on at block boundaries, sometimes several
    // times in a row: the stream must match the oracle with its rings cleared
    // at each power-off and its write position running on.
    for (int block : {1, 5, 91, 512, 777, 2048}) {
        for (int program = 0; program < 4; ++program) {
            EffectInstance effect = newEffect();
            effect.setProgram(program);
            ReferenceCrossfeed oracle;
            oracle.setParameters(effect.getParameter(0), effect.getParameter(1));
            std::uint32_t state = static_cast<std::uint32_t>(block * 31 + program);
            const int blocks = std::max(6, 3000 / block);
            for (int b = 0; b < blocks; ++b) {
                state = state * 1664525u + 1013904223u;
                const int action = static_cast<int>(state >> 28);
                if (action < 3) {
                    effect.power(false);
                    oracle.suspend();
                }
                if (action < 5) effect.power(true);
                if (action == 5) effect.dispatch(kEffectPower, 0, -7);  // any non-zero value resumes
                std::vector<float> left = noise(block, state), right = noise(block, state ^ 0x9E3779B9u);
                std::vector<float> expectedLeft(block), expectedRight(block);
                oracle.process(left.data(), right.data(), expectedLeft.data(), expectedRight.data(), block, false);
                float* channels[2] = {left.data(), right.data()};
                effect.processReplacing(channels, channels, block);
                for (int i = 0; i < block; ++i) {
                    ASSERT_EQ(bitsOf(left[i]), bitsOf(expectedLeft[i]))
                        << "block " << block << " program " << program << " #" << b << " frame " << i;
                    ASSERT_EQ(bitsOf(right[i]), bitsOf(expectedRight[i]))
                        << "block " << block << " program " << program << " #" << b << " frame " << i;
                }
            }
        }
    }
}

}  // namespace
