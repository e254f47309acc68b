// The crossfeed written the plainest way: one ring step and one wrap per
// frame. It is the oracle the processor is checked against.
#pragma once

#include <cstdint>

#include "crossfeed/descriptor.h"

class ReferenceCrossfeed {
public:
    static constexpr int kDelayLength = crossfeed::kRingLength;

    void setParameters(float crossLevel, float delay) {
        crossLevel_ = crossLevel;
        delay_ = delay;
    }

    // Offset in samples: the parameter clamped to 0..1 (NaN as 0), at most
    // the ring's longest delay.
    static int offsetFor(float delay) {
        float d = delay;
        if (d != d || d < 0.0f) d = 0.0f;
        if (d > 1.0f) d = 1.0f;
        const int offset = static_cast<int>(static_cast<float>(kDelayLength) * d);
        return offset == kDelayLength ? kDelayLength - 1 : offset;
    }

    void suspend() {
        for (auto& ring : rings_)
            for (float& sample : ring) sample = 0.0f;
    }

    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int frames,
                 bool adding) {
        int read = write_ - offsetFor(delay_);
        if (read < 0) read += kDelayLength;
        const float cross = crossLevel_ / 2.0f;
        const float direct = 1.0f - cross;
        for (int i = 0; i < frames; ++i) {
            const float left = inLeft[i];
            const float right = inRight[i];
            rings_[0][write_] = left;
            rings_[1][write_] = right;
            double l = static_cast<double>(rings_[1][read]) * cross + static_cast<double>(direct) * left;
            double r = static_cast<double>(rings_[0][read]) * cross + static_cast<double>(direct) * right;
            if (adding) {
                l += outLeft[i];
                r += outRight[i];
            }
            outLeft[i] = static_cast<float>(l);
            outRight[i] = static_cast<float>(r);
            write_ = (write_ + 1) % kDelayLength;
            read = (read + 1) % kDelayLength;
        }
    }

private:
    float crossLevel_ = 0.0f;
    float delay_ = 0.0f;
    float rings_[2][kDelayLength] = {};
    int write_ = 0;
};
