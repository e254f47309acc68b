// The processor against the per-frame oracle, bit for bit, over every delay
// offset, ring phase, block size and buffer layout, with every kernel set
// this machine runs; and each vector kernel against the plain one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "crossfeed/crossfeed_processor.h"
#include "support/reference_crossfeed.h"
#include "support/samples.h"

namespace {

using Output = CrossfeedProcessor::Output;

enum class Layout { separate, inPlace, swappedInPlace };

const int kBlockSizes[] = {1, 4096, 3, 17, 256, 5, 64, 1023, 2, 255, 300, 7, 512, 1, 257, 31, 513, 4, 1031, 16, 95};

// Every set this machine runs, the one a new processor picks among them.
std::vector<CrossfeedKernels> kernelSets() {
    const CrossfeedKernelTable table = availableCrossfeedKernels();
    return std::vector<CrossfeedKernels>(table.sets, table.sets + table.count);
}

std::unique_ptr<CrossfeedProcessor> processorWith(const CrossfeedKernels& kernels) {
    auto processor = std::make_unique<CrossfeedProcessor>(kernels);
    EXPECT_TRUE(processor->ready());
    return processor;
}

// Finite noise with a few subnormals and extremes among it.
std::vector<float> samples(std::size_t count, std::uint32_t seed) {
    std::vector<float> values = noise(count, seed);
    const float specials[] = {1e-40f, -3e-39f, std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(), 0.0f, -0.0f};
    for (std::size_t i = seed % 97; i < count; i += 389) values[i] = specials[(i + seed) % std::size(specials)];
    return values;
}

// One long stream through the processor and the oracle: the delay walks
// through every offset (and values held beyond), the cross level changes
// between blocks, and the rings are reset now and then.
void runStream(Output output, Layout layout, CrossfeedProcessor& processor) {
    const bool adding = output == Output::add;
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
        processor.setCrossLevel(crossLevel);
        processor.setNormalisedDelay(delays[block]);
        reference.setParameters(crossLevel, delays[block]);
        if (block % 61 == 60) {
            processor.reset();
            reference.suspend();
        }

        std::vector<float> inL = samples(frames, seed++), inR = samples(frames, seed++);
        std::vector<float> outL = noise(frames, seed++), outR = noise(frames, seed++);
        std::vector<float> refInL = inL, refInR = inR, refOutL = outL, refOutR = outR;
        float* out[2] = {outL.data(), outR.data()};
        float* refOut[2] = {refOutL.data(), refOutR.data()};
        if (layout == Layout::inPlace) {
            out[0] = inL.data(), out[1] = inR.data();
            refOut[0] = refInL.data(), refOut[1] = refInR.data();
        } else if (layout == Layout::swappedInPlace) {
            out[0] = inR.data(), out[1] = inL.data();
            refOut[0] = refInR.data(), refOut[1] = refInL.data();
        }
        processor.process(inL.data(), inR.data(), out[0], out[1], frames, output);
        reference.process(refInL.data(), refInR.data(), refOut[0], refOut[1], frames, adding);

        for (int channel = 0; channel < 2; ++channel)
            for (int i = 0; i < frames; ++i)
                ASSERT_TRUE(sameSample(out[channel][i], refOut[channel][i]))
                    << "block " << block << " (" << frames << " frames, delay " << delays[block] << ") channel "
                    << channel << " frame " << i << ": " << out[channel][i] << " vs " << refOut[channel][i];
    }
}

TEST(ProcessorExactness, StreamsMatchTheOracleWithEveryKernelAndLayout) {
    for (const CrossfeedKernels& kernels : kernelSets()) {
        SCOPED_TRACE(kernels.name);
        for (Output output : {Output::replace, Output::add})
            for (Layout layout : {Layout::separate, Layout::inPlace, Layout::swappedInPlace}) {
                auto processor = processorWith(kernels);
                runStream(output, layout, *processor);
                if (HasFatalFailure()) return;
            }
    }
}

// Short and long offsets from every ring phase: neither the chunking nor
// refilling the ring during a chunk may depend on where a block starts.
TEST(ProcessorExactness, EveryOffsetFromEveryRingPhase) {
    for (const CrossfeedKernels& kernels : kernelSets()) {
        SCOPED_TRACE(kernels.name);
        for (Output output : {Output::replace, Output::add}) {
            auto processor = processorWith(kernels);
            ReferenceCrossfeed reference;
            processor->setCrossLevel(0.6f);
            std::uint32_t seed = 5000u + (output == Output::add);
            for (int offset : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 255, 256, 257, 384, 500, 507, 508, 509, 510, 511}) {
                const float delay = static_cast<float>(offset) / 512.0f;
                processor->setNormalisedDelay(delay);
                reference.setParameters(0.6f, delay);
                // 37 is prime to 512: the write position visits every phase.
                for (int block = 0; block < 24; ++block) {
                    const int frames = 37 + (block % 3) * 256;
                    std::vector<float> inL = noise(frames, seed++), inR = noise(frames, seed++);
                    std::vector<float> outL = noise(frames, seed++), outR = outL;
                    std::vector<float> refL = outL, refR = outR;
                    processor->process(inL.data(), inR.data(), outL.data(), outR.data(), frames, output);
                    reference.process(inL.data(), inR.data(), refL.data(), refR.data(), frames, output == Output::add);
                    ASSERT_EQ(bitDifference(outL, refL), "") << "offset " << offset << " left";
                    ASSERT_EQ(bitDifference(outR, refR), "") << "offset " << offset << " right";
                }
            }
        }
    }
}

// A sum that double precision rounds away and x87's extended precision
// keeps: a build whose arithmetic slipped to the x87 unit gives 2^-61, not 0.
TEST(ProcessorExactness, SumsAreRoundedToDoubleNotExtended) {
    for (const CrossfeedKernels& kernels : kernelSets()) {
        auto processor = processorWith(kernels);
        processor->setCrossLevel(1.0f);
        processor->setNormalisedDelay(0.0f);
        for (int frames : {1, 3, 7}) {
            // Each output: 0.5 * 1 + 0.5 * 2^-60 + (-0.5).
            std::vector<float> inL(frames, 1.0f), inR(frames, std::ldexp(1.0f, -60));
            std::vector<float> outL(frames, -0.5f), outR(frames, -0.5f);
            processor->process(inL.data(), inR.data(), outL.data(), outR.data(), frames, Output::add);
            for (int i = 0; i < frames; ++i) {
                EXPECT_EQ(bitsOf(outL[i]), 0u) << kernels.name << " frame " << i;
                EXPECT_EQ(bitsOf(outR[i]), 0u) << kernels.name << " frame " << i;
            }
        }
    }
}

// The processor runs only the widest kernel here; the others must agree
// with the plain one as well, specials included, and refilling a ring on
// the way must not change a single output.
TEST(ProcessorExactness, EveryKernelAgreesWithThePlainOne) {
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
                    std::vector<float> ringL(64, 5.0f), ringR(64, 5.0f);
                    CrossfeedSpan span{inL, inR, delayedL, delayedR, actualL.data(), actualR.data()};
                    if (frames % 2) {
                        span.ringLeft = ringL.data();
                        span.ringRight = ringR.data();
                    }
                    tested(span, frames, cross, direct);
                    for (int i = 0; i < 64 && frames % 2; ++i) {
                        ASSERT_EQ(bitsOf(ringL[i]), bitsOf(i < frames ? inL[i] : 5.0f)) << kernels.name;
                        ASSERT_EQ(bitsOf(ringR[i]), bitsOf(i < frames ? inR[i] : 5.0f)) << kernels.name;
                    }
                    ASSERT_EQ(bitDifference(actualL, expectedL), "") << kernels.name << " frames " << frames << " left";
                    ASSERT_EQ(bitDifference(actualR, expectedR), "") << kernels.name << " frames " << frames << " right";
                }
            }
        }
    }
}

}  // namespace
