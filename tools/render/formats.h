// Which libsndfile format an output gets, and what each format holds.
#pragma once

#include <cstdint>
#include <string>

// The stereo format for an output with this extension (empty: the input's
// container). `bits` is "", "16", "24", "32" or "float".
bool chooseOutputFormat(const std::string& extension, int inputFormat, int sampleRate, const std::string& bits,
                        int& format, std::string& error);

// The most a container with 32-bit sizes is let hold, with room for tags.
constexpr std::uint64_t kClassicLimit = 0xffffffffull - (64ull << 20);

constexpr std::uint64_t kUnknownFrames = UINT64_MAX;

// How large an output may grow, and how its container copes.
struct OutputSize {
    std::uint64_t limit = UINT64_MAX;  // beyond it, writes fail with `reason`
    std::string reason;
    bool downgrade = false;  // RF64 that libsndfile turns into plain WAV when small
};

// WAV audio that would not fit 4 GiB becomes RF64 (of unknown length, RF64
// that stays plain WAV when small); other containers with 32-bit sizes are
// refused when the audio is known to be larger, and limited otherwise.
// `frames` is kUnknownFrames when the input does not say.
bool planOutputSize(int& format, std::uint64_t frames, int sampleRate, OutputSize& size, std::string& error);

bool isLossy(int format);
bool isInteger(int format);
// Bits of an integer subtype, 0 for others.
int integerBits(int format);

// A short name for a format, such as "WAV float" or "FLAC 24-bit".
std::string formatName(int format);
