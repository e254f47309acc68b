// The crossfeed itself, with no plug-in interface in it: two delay rings,
// the two live parameter values, and the processing of stereo blocks. Each
// output is its own input at the direct weight plus the other channel's
// input, delayed by up to 511 samples, at the cross weight. Every
// interface holds one of these and feeds it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crossfeed/crossfeed_kernel.h"
#include "crossfeed/descriptor.h"

class CrossfeedProcessor {
public:
    // Both rings silent, both parameters 0.
    explicit CrossfeedProcessor(const CrossfeedKernels& kernels = fastestCrossfeedKernels()) noexcept;
    ~CrossfeedProcessor();
    CrossfeedProcessor(const CrossfeedProcessor&) = delete;
    CrossfeedProcessor& operator=(const CrossfeedProcessor&) = delete;

    // False when a ring could not be allocated; nothing else may be called then.
    bool ready() const noexcept { return rings_[0] && rings_[1]; }

    // Parameter values as given, unclamped: 0 to 1 is the range; a level
    // outside it is applied as it is, a delay is held inside the ring.
    void setCrossLevel(float level) noexcept { crossLevel_ = level; }
    void setNormalisedDelay(float delay) noexcept { normalisedDelay_ = delay; }
    float crossLevel() const noexcept { return crossLevel_; }
    float normalisedDelay() const noexcept { return normalisedDelay_; }

    enum class Output { replace, add };

    // `frames` samples of each channel. The outputs may be the very buffers
    // of the inputs, either way round. Parameters take effect from the next
    // call; the rings carry the past from call to call.
    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::size_t frames,
                 Output output) noexcept;

    // Silences both rings.
    void reset() noexcept;

private:
    float crossLevel_ = 0.0f;
    float normalisedDelay_ = 0.0f;
    float* rings_[2] = {nullptr, nullptr};  // left input, right input
    std::int32_t writeIndex_ = 0;           // shared by both rings
    CrossfeedKernels kernels_;
};
