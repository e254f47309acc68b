// Loads the built module once per test program, the way a host does.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "loader/plugin_host.h"

PluginModule& moduleUnderTest();
EffectInstance newEffect();

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float floatFromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Same bits, or both NaN: which NaN payload survives is the arithmetic's
// business, not ours.
inline bool sameSample(float a, float b) { return bitsOf(a) == bitsOf(b) || (a != a && b != b); }

// Deterministic noise in -1..1, the same on every target.
inline std::vector<float> noise(std::size_t count, std::uint32_t seed) {
    std::vector<float> samples(count);
    std::uint32_t state = seed ? seed : 1;
    for (float& sample : samples) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<float>(static_cast<std::int32_t>(state) / 2147483648.0);
    }
    return samples;
}
