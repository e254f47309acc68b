// The crossfeed's parameters in the units it displays, and back. Every host
// that takes a level in percent or a delay in milliseconds (the renderer's
// options, the LV2 and LADSPA control ports) converts through these, so the
// same numbers give the same parameter bits, and so the same output, in
// every interface.
#pragma once

#include <cmath>

namespace crossfeed_units {

// The delay is a count of ring samples, shown as milliseconds at this rate
// whatever the host's sample rate.
constexpr double kDisplayRateKilohertz = 44.1;
constexpr double kRingSamples = 512.0;

constexpr double kLevelPercentMax = 100.0;
// The delay parameter's whole range, 0..1, in displayed milliseconds.
constexpr double kDelayMillisecondsMax = kRingSamples / kDisplayRateKilohertz;
// A displayed text is cut to 8 characters ("11.60997"), a little below the
// exact maximum; accept what the module shows.
constexpr double kDelayMillisecondsSlack = 5e-6;

inline float levelFromPercent(double percent) noexcept { return static_cast<float>(percent / 100.0); }

// Clamped to the parameter's range: the displayed maximum lies a hair above
// the longest delay once rounded.
inline float delayFromMilliseconds(double milliseconds) noexcept {
    return std::fmin(static_cast<float>(milliseconds * kDisplayRateKilohertz / kRingSamples), 1.0f);
}

inline bool levelPercentInRange(double percent) noexcept { return percent >= 0.0 && percent <= kLevelPercentMax; }

inline bool delayMillisecondsInRange(double milliseconds) noexcept {
    return milliseconds >= 0.0 && milliseconds <= kDelayMillisecondsMax + kDelayMillisecondsSlack;
}

}  // namespace crossfeed_units
