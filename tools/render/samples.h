// Samples between libsndfile and the effect: read as float pairs, written
// with exact rounding, clipping count and dither.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <vector>

// Rounds float samples to nearest for integer formats, clipping at full
// scale and counting the clipped samples; optional triangular dither. No
// output gets a non-number (it becomes silence, and is counted), nor an
// infinity (full scale); lossy encoders get nothing beyond full scale.
class SampleWriter {
public:
    SampleWriter(SNDFILE* file, int format, bool dither);
    // Interleaves the two channels while converting them.
    bool write(const float* left, const float* right, sf_count_t frames);
    std::uint64_t clipped() const { return clipped_; }
    std::uint64_t notNumbers() const { return notNumbers_; }

private:
    void keepInRange(const float* left, const float* right, std::size_t frames);
    void roundFourAtATime(const float* left, const float* right, std::size_t frames);
    void roundExactly(const float* left, const float* right, std::size_t frames);
    SNDFILE* file_;
    int bits_;
    bool lossy_;
    bool dither_;
    std::uint64_t clipped_ = 0;
    std::uint64_t notNumbers_ = 0;
    std::uint32_t noise_ = 0x9e3779b9u;
    std::vector<int> buffer_;
    std::vector<short> shorts_;
    std::vector<float> floats_;
};

// Reads stereo (mono doubled) as two float channels. 16-bit input is read
// as such and converted here: the same values, in one pass.
class SampleReader {
public:
    SampleReader(SNDFILE* file, const SF_INFO& info);
    sf_count_t read(float* left, float* right, sf_count_t frames);

private:
    SNDFILE* file_;
    int channels_;
    bool shorts_;
    std::vector<short> shortBuffer_;
    std::vector<float> floatBuffer_;
};
