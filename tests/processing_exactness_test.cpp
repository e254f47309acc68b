// The block-wise processing against the per-frame oracle, bit for bit, over
// every delay offset, ring phase, block size and buffer layout; and each
// vector kernel this processor runs against the plain one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "crossfeed/crossfeed_kernel.h"
#include "support/kernel_override.h"
#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

enum class Layout { separate, inPlace, swappedInPlace };

const int kBlockSizes[] = {1, 4096, 3, 17, 256, 5, 64, 1023, 2, 255, 300, 7, 512, 1, 257, 31, 513, 4, 1031, 16, 95};

// Finite noise with a few subnormals and extremes among it.
std::vector<float> samples(std::size_t count, std::uint32_t seed) {
    std::vector<float> values = noise(count, seed);
    const float specials[] = {1e-40f, -3e-39f, std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(), 0.0f, -0.0f};
    for (std::size_t i = seed % 97; i < count; i += 389) values[i] = specials[(i + seed) % std::size(specials)];
    return values;
}

// One long stream through one effect and the oracle: the delay walks through
// every offset (and values clamped beyond), the cross level changes between
// blocks, and the effect is suspended now and then.
void runStream(bool adding, Layout layout, EffectInstance effect) {
    ASSERT_TRUE(effect);
    std::vector<float> delays;
    for (int offset = 0; offset <= 512; ++offset) delays.push_back(static_cast<float>(offset) / 512.0f);
    const float inf = std::numeric_limits<float>::infinity();
    for (float beyond : {1.0001f, 7.5f, inf, -0.25f, -inf, std::nanf(""), 1e30f, 0.999f}) delays.push_back(beyond);
    const float crossLevels[] = {0.3f, 1.0f, 0.0f, 0.45f, 0.2f, 0.7131f, 0.25f};

    ReferenceCrossfeed reference;
    std::uint32_t seed = 17u + static_cast<std::uint32_t>(adding) * 1000u + static_cast<std::uint32_t>(layout) * 100u;
    for (std::size_t block = 0; block < delays.size(); ++block) {
        const int frames = kBlockSizes[block % std::size(kBlockSizes)];
        const float crossLevel = crossLevels[block % std::size(crossLevels)];
        effect.setParameter(0, crossLevel);
        effect.setParameter(1, delays[block]);
        reference.setParameters(crossLevel, delays[block]);
        if (block % 61 == 60) {
            effect.power(false);
            effect.power(true);
            reference.suspend();
        }

        std::vector<float> inL = samples(frames, seed++), inR = samples(frames, seed++);
        std::vector<float> outL = noise(frames, seed++), outR = noise(frames, seed++);
        std::vector<float> refInL = inL, refInR = inR, refOutL = outL, refOutR = outR;
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        float* refOut[2] = {refOutL.data(), refOutR.data()};
        if (layout == Layout::inPlace) {
            out[0] = in[0], out[1] = in[1];
            refOut[0] = refInL.data(), refOut[1] = refInR.data();
        } else if (layout == Layout::swappedInPlace) {
            out[0] = in[1], out[1] = in[0];
            refOut[0] = refInR.data(), refOut[1] = refInL.data();
        }
        if (adding)
            effect.processAdding(in, out, frames);
        else
            effect.processReplacing(in, out, frames);
        reference.process(refInL.data(), refInR.data(), refOut[0], refOut[1], frames, adding);

        for (int channel = 0; channel < 2; ++channel)
            for (int i = 0; i < frames; ++i)
                ASSERT_TRUE(sameSample(out[channel][i], refOut[channel][i]))
                    << "block " << block << " (" << frames << " frames, delay " << delays[block] << ") channel "
                    << channel << " frame " << i << ": " << out[channel][i] << " vs " << refOut[channel][i];
    }
}

TEST(ProcessingExactness, ReplacingSeparate) { runStream(false, Layout::separate, newEffect()); }
TEST(ProcessingExactness, ReplacingInPlace) { runStream(false, Layout::inPlace, newEffect()); }
TEST(ProcessingExactness, ReplacingSwappedInPlace) { runStream(false, Layout::swappedInPlace, newEffect()); }
TEST(ProcessingExactness, AddingSeparate) { runStream(true, Layout::separate, newEffect()); }
TEST(ProcessingExactness, AddingInPlace) { runStream(true, Layout::inPlace, newEffect()); }
TEST(ProcessingExactness, AddingSwappedInPlace) { runStream(true, Layout::swappedInPlace, newEffect()); }

// Short and long offsets from every ring phase: neither the chunking nor
// refilling the ring during a chunk may depend on where a block starts.
void runEveryRingPhase(EffectInstance (*makeEffect)(const CrossfeedKernels*), const CrossfeedKernels* kernels) {
    for (bool adding : {false, true}) {
        EffectInstance effect = makeEffect(kernels);
        ASSERT_TRUE(effect);
        ReferenceCrossfeed reference;
        effect.setParameter(0, 0.6f);
        std::uint32_t seed = 5000u + adding;
        for (int offset : {1, 4, 7, 8, 9, 15, 16, 17, 255, 256, 257, 384, 500, 510, 511}) {
            const float delay = static_cast<float>(offset) / 512.0f;
            effect.setParameter(1, delay);
            reference.setParameters(0.6f, delay);
            // 37 is prime to 512: the write position visits every phase.
            for (int block = 0; block < 24; ++block) {
                const int frames = 37 + (block % 3) * 256;
                std::vector<float> inL = noise(frames, seed++), inR = noise(frames, seed++);
                std::vector<float> outL = noise(frames, seed++), outR = outL;
                std::vector<float> refL = outL, refR = outR;
                float* in[2] = {inL.data(), inR.data()};
                float* out[2] = {outL.data(), outR.data()};
                if (adding)
                    effect.processAdding(in, out, frames);
                else
                    effect.processReplacing(in, out, frames);
                reference.process(inL.data(), inR.data(), refL.data(), refR.data(), frames, adding);
                for (int i = 0; i < frames; ++i) {
                    ASSERT_EQ(bitsOf(outL[i]), bitsOf(refL[i])) << "offset " << offset << " frame " << i;
                    ASSERT_EQ(bitsOf(outR[i]), bitsOf(refR[i])) << "offset " << offset << " frame " << i;
                }
            }
        }
    }
}

EffectInstance moduleEffect(const CrossfeedKernels*) { return newEffect(); }
EffectInstance effectWithKernels(const CrossfeedKernels* kernels) {
    return CrossfeedKernelOverride::effectWith(*kernels);
}

// A sum that double precision rounds away and x87's extended precision
// keeps: a build whose arithmetic slipped to the x87 unit gives 2^-61, not 0.
TEST(ProcessingExactness, SumsAreRoundedToDoubleNotExtended) {
    const CrossfeedKernelTable table = availableCrossfeedKernels();
    for (int set = -1; set < table.count; ++set) {
        EffectInstance effect = set < 0 ? newEffect() : CrossfeedKernelOverride::effectWith(table.sets[set]);
        ASSERT_TRUE(effect);
        effect.setParameter(0, 1.0f);
        effect.setParameter(1, 0.0f);
        for (int frames : {1, 3, 7}) {
            // Each output: 0.5 * 1 + 0.5 * 2^-60 + (-0.5).
            std::vector<float> inL(frames, 1.0f), inR(frames, std::ldexp(1.0f, -60));
            std::vector<float> outL(frames, -0.5f), outR(frames, -0.5f);
            float* in[2] = {inL.data(), inR.data()};
            float* out[2] = {outL.data(), outR.data()};
            effect.processAdding(in, out, frames);
            for (int i = 0; i < frames; ++i) {
                EXPECT_EQ(bitsOf(outL[i]), 0u) << (set < 0 ? "module" : table.sets[set].name) << " frame " << i;
                EXPECT_EQ(bitsOf(outR[i]), 0u) << (set < 0 ? "module" : table.sets[set].name) << " frame " << i;
            }
        }
    }
}

TEST(ProcessingExactness, EveryRingPhase) { runEveryRingPhase(moduleEffect, nullptr); }

// Each kernel set this processor runs, not only the one the module picks,
// through the whole processing path: chunks, ring refills and wraps.
TEST(ProcessingExactness, EveryKernelThroughTheWholeEffect) {
    const CrossfeedKernelTable table = availableCrossfeedKernels();
    for (int set = 0; set < table.count; ++set) {
        SCOPED_TRACE(table.sets[set].name);
        for (bool adding : {false, true})
            for (Layout layout : {Layout::separate, Layout::inPlace, Layout::swappedInPlace})
                runStream(adding, layout, CrossfeedKernelOverride::effectWith(table.sets[set]));
        runEveryRingPhase(effectWithKernels, &table.sets[set]);
    }
}

// The module runs only the widest kernel here; the others must agree with
// the plain one as well, specials included.
TEST(ProcessingExactness, EveryKernelAgreesWithThePlainOne) {
    const CrossfeedKernelTable table = availableCrossfeedKernels();
    ASSERT_GE(table.count, 1);
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = noise(4 * 64, 99);
    const float specials[] = {1e-40f, -1e-45f, 3e38f, -3.4e38f, inf, -inf, std::nanf(""), 0.0f, -0.0f, 1.0f, 1e-30f};
    for (std::size_t i = 0; i < values.size(); i += 5) values[i] = specials[i % std::size(specials)];
    const float* inL = values.data();
    const float* inR = inL + 64;
    const float* delayedL = inR + 64;
    const float* delayedR = delayedL + 64;
    const std::vector<float> old = noise(64, 7);
    for (int set = 0; set < table.count; ++set) {
        const CrossfeedKernels& kernels = table.sets[set];
        for (float crossLevel : {0.0f, 0.3f, 1.0f, 0.7131f}) {
            const float cross = crossLevel / 2.0f;
            const float direct = 1.0f - cross;
            for (bool adding : {false, true}) {
                for (int frames = 0; frames <= 64; frames += (frames < 12 ? 1 : 13)) {
                    std::vector<float> expectedL = old, expectedR = old, actualL = old, actualR = old;
                    const CrossfeedKernel plain = adding ? table.sets[0].adding : table.sets[0].replacing;
                    const CrossfeedKernel tested = adding ? kernels.adding : kernels.replacing;
                    plain({inL, inR, delayedL, delayedR, expectedL.data(), expectedR.data()}, frames, cross, direct);
                    // Refilling a ring on the way must not change a single output.
                    std::vector<float> ringL(64, 5.0f), ringR(64, 5.0f);
                    CrossfeedSpan span{inL, inR, delayedL, delayedR, actualL.data(), actualR.data()};
                    if (frames % 2) {
                        span.ringLeft = ringL.data();
                        span.ringRight = ringR.data();
                    }
                    tested(span, frames, cross, direct);
                    for (int i = 0; i < 64; ++i) {
                        if (frames % 2) {
                            ASSERT_EQ(bitsOf(ringL[i]), bitsOf(i < frames ? inL[i] : 5.0f)) << kernels.name;
                            ASSERT_EQ(bitsOf(ringR[i]), bitsOf(i < frames ? inR[i] : 5.0f)) << kernels.name;
                        }
                        ASSERT_TRUE(sameSample(actualL[i], expectedL[i]))
                            << kernels.name << " frames " << frames << " left " << i;
                        ASSERT_TRUE(sameSample(actualR[i], expectedR[i]))
                            << kernels.name << " frames " << frames << " right " << i;
                    }
                }
            }
        }
    }
}

}  // namespace
