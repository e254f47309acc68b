// The per-frame arithmetic of the crossfeed over a stretch of frames whose
// delayed samples already sit in memory: each output is its own input at the
// direct weight plus the other channel's delayed input at the cross weight.
// The sum is formed in double (both products are exact there) and rounded
// to float once; adding rounds once more after adding the old output.
#pragma once

#include <cstdint>

// The most frames any kernel handles in one step. A step loads all its
// frames' delayed samples before it stores their inputs, so a delay of at
// least this many frames never reads a sample the same step stores.
constexpr std::int32_t kWidestKernelStep = 4;

struct CrossfeedSpan {
    const float* inLeft;
    const float* inRight;
    const float* delayedLeft;   // feeds the right output
    const float* delayedRight;  // feeds the left output
    float* outLeft;
    float* outRight;
    // When set, each frame's inputs are stored here once its delayed samples
    // have been read, so a ring can be both read and refilled in one pass.
    float* ringLeft = nullptr;
    float* ringRight = nullptr;
};

// Outputs may be the very buffers of the inputs (any channel); the delayed
// samples must not overlap the outputs.
using CrossfeedKernel = void (*)(const CrossfeedSpan& span, std::int32_t frames, double cross,
                                 double direct) noexcept;

struct CrossfeedKernels {
    CrossfeedKernel replacing;
    CrossfeedKernel adding;
    const char* name;
};

// Every kernel set built in, plainest first; `count` of them run here.
struct CrossfeedKernelTable {
    const CrossfeedKernels* sets;
    int count;
};
CrossfeedKernelTable availableCrossfeedKernels() noexcept;

// The fastest set this processor runs.
CrossfeedKernels fastestCrossfeedKernels() noexcept;
