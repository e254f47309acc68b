// Former names of the descriptor's conversions, kept for code that has not
// moved to crossfeed/descriptor.h yet. New code uses the descriptor.
#pragma once

#include "crossfeed/descriptor.h"

namespace crossfeed_units {

constexpr double kDisplayRateKilohertz = crossfeed::kDisplayRateKilohertz;
constexpr double kRingSamples = crossfeed::kRingLength;
constexpr double kLevelPercentMax = crossfeed::kParameters[crossfeed::kLevelParameter].maximum;
constexpr double kDelayMillisecondsMax = crossfeed::kParameters[crossfeed::kDelayParameter].maximum;
constexpr double kDelayMillisecondsSlack = crossfeed::kPlainSlack;

inline float levelFromPercent(double percent) noexcept {
    return crossfeed::parameterFromPlain(crossfeed::kLevelParameter, percent);
}

inline float delayFromMilliseconds(double milliseconds) noexcept {
    return crossfeed::parameterFromPlain(crossfeed::kDelayParameter, milliseconds);
}

inline bool levelPercentInRange(double percent) noexcept {
    return crossfeed::plainInRange(crossfeed::kLevelParameter, percent);
}

inline bool delayMillisecondsInRange(double milliseconds) noexcept {
    return crossfeed::plainInRange(crossfeed::kDelayParameter, milliseconds);
}

}  // namespace crossfeed_units
