#include "crossfeed/crossfeed_processor.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int32_t kRing = crossfeed::kRingLength;

}  // namespace

CrossfeedProcessor::CrossfeedProcessor(const CrossfeedKernels& kernels) noexcept : kernels_(kernels) {
    for (float*& ring : rings_) {
        ring = new (std::nothrow) float[kRing];
        if (ring) std::fill(ring, ring + kRing, 0.0f);
    }
}

CrossfeedProcessor::~CrossfeedProcessor() {
    for (float* ring : rings_) delete[] ring;
}

void CrossfeedProcessor::reset() noexcept {
    for (float* ring : rings_) std::fill(ring, ring + kRing, 0.0f);
}

void CrossfeedProcessor::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                 std::size_t frames, Output output) noexcept {
    const std::int32_t delay = crossfeed::delaySamplesFor(normalisedDelay_);
    const float crossWeight = crossLevel_ / 2.0f;
    const float directWeight = 1.0f - crossWeight;
    const CrossfeedKernel kernel = output == Output::add ? kernels_.adding : kernels_.replacing;
    float* leftRing = rings_[0];
    float* rightRing = rings_[1];
    std::int32_t write = writeIndex_;
    std::int32_t read = write >= delay ? write - delay : write - delay + kRing;
    for (std::size_t done = 0; done < frames;) {
        // A chunk wraps neither ring position, so its ring spans are contiguous.
        const std::int32_t room = std::min(kRing - write, kRing - read);
        const auto chunk = static_cast<std::int32_t>(std::min(frames - done, static_cast<std::size_t>(room)));

        CrossfeedSpan span{inLeft + done, inRight + done, leftRing + read, rightRing + read,
                           outLeft + done, outRight + done};
        // Refilling the ring as the kernel goes is safe when every delayed
        // sample it reads was stored by an earlier kernel step or lies ahead
        // of the writes. A delay shorter than one step, read from behind the
        // write position, would read what the same step stores: store the
        // chunk first.
        if (read > write || delay >= kWidestKernelStep) {
            span.ringLeft = leftRing + write;
            span.ringRight = rightRing + write;
        } else {
            const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(chunk);
            std::memcpy(leftRing + write, span.inLeft, bytes);
            std::memcpy(rightRing + write, span.inRight, bytes);
        }
        kernel(span, chunk, crossWeight, directWeight);

        done += static_cast<std::size_t>(chunk);
        write += chunk;
        if (write == kRing) write = 0;
        read += chunk;
        if (read == kRing) read = 0;
    }
    writeIndex_ = write;
}
