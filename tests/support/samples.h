// What the suites, tools and benchmarks share for samples: bit patterns,
// deterministic noise, a stereo pair of buffers as hosts hand them over,
// and the bit-for-bit comparison every exactness test makes.
#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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

// Two channels of samples, silent or noise, and the host's view of them: an
// array of channel pointers.
struct Stereo {
    explicit Stereo(std::size_t frames, std::uint32_t seed = 0)
        : left(seed ? noise(frames, seed) : std::vector<float>(frames, 0.0f)),
          right(seed ? noise(frames, seed * 7 + 3) : std::vector<float>(frames, 0.0f)) {}
    Stereo(const Stereo& other) : left(other.left), right(other.right) {}
    Stereo& operator=(const Stereo& other) {
        left = other.left;
        right = other.right;
        return *this;
    }
    std::size_t frames() const { return left.size(); }
    float** channels() {
        pointers[0] = left.data();
        pointers[1] = right.data();
        return pointers;
    }
    std::vector<float> left, right;
    float* pointers[2] = {nullptr, nullptr};
};

// Empty when every sample has the same bits (NaNs alike); otherwise where
// the first difference is. Tests assert it is empty:
//   ASSERT_EQ(bitDifference(out, expected), "") << what;
inline std::string bitDifference(const std::vector<float>& actual, const std::vector<float>& expected) {
    std::ostringstream out;
    if (actual.size() != expected.size()) {
        out << actual.size() << " samples instead of " << expected.size();
        return out.str();
    }
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (!sameSample(actual[i], expected[i])) {
            out << "frame " << i << ": " << actual[i] << " (0x" << std::hex << bitsOf(actual[i]) << ") instead of "
                << expected[i] << " (0x" << bitsOf(expected[i]) << ")";
            return out.str();
        }
    return {};
}

inline std::string bitDifference(const Stereo& actual, const Stereo& expected) {
    const std::string left = bitDifference(actual.left, expected.left);
    if (!left.empty()) return "left " + left;
    const std::string right = bitDifference(actual.right, expected.right);
    return right.empty() ? right : "right " + right;
}
