#include "render/samples.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cmath>

#include "render/formats.h"

SampleWriter::SampleWriter(SNDFILE* file, int format, bool dither)
    : file_(file), bits_(integerBits(format)), lossy_(isLossy(format)), dither_(dither && bits_ > 0 && bits_ <= 16) {}

bool SampleWriter::write(const float* left, const float* right, sf_count_t frames) {
    const std::size_t count = static_cast<std::size_t>(frames);
    if (bits_ == 0) {
        keepInRange(left, right, count);
        return sf_writef_float(file_, floats_.data(), frames) == frames;
    }
    // Without SSE2 the exact rounding below gives the same integers.
#if defined(__SSE2__)
    if ((bits_ == 16 || bits_ == 24) && !dither_) {
        roundFourAtATime(left, right, count);
        if (bits_ == 16) return sf_writef_short(file_, shorts_.data(), frames) == frames;
        return sf_writef_int(file_, buffer_.data(), frames) == frames;
    }
#endif
    roundExactly(left, right, count);
    return sf_writef_int(file_, buffer_.data(), frames) == frames;
}

void SampleWriter::keepInRange(const float* left, const float* right, std::size_t frames) {
    floats_.resize(frames * 2);
    // Lossy encoders take full scale at most (LAME asserts beyond it); a
    // float file keeps every finite value. Neither gets a non-number.
    std::uint64_t clipped = 0, notNumbers = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        float value = (i & 1) ? right[i / 2] : left[i / 2];
        if (value != value) {
            value = 0.0f;
            ++notNumbers;
        } else if (lossy_ ? std::fabs(value) > 1.0f : std::isinf(value)) {
            value = std::copysign(1.0f, value);
            ++clipped;
        }
        floats_[i] = value;
    }
    clipped_ += clipped;
    notNumbers_ += notNumbers;
}

#if defined(__SSE2__)
void SampleWriter::roundFourAtATime(const float* left, const float* right, std::size_t count) {
    // Scaling by a power of two is exact in float, and so is rounding the
    // scaled value: four samples at a time give the same integers.
    const float scale = bits_ == 16 ? 32768.0f : 8388608.0f;
    const __m128 high = _mm_set1_ps(scale - 1.0f), low = _mm_set1_ps(-scale);
    const __m128 clipHigh = _mm_set1_ps(scale - 0.5f), clipLow = _mm_set1_ps(-scale - 0.5f);
    const __m128 factor = _mm_set1_ps(scale);
    std::uint64_t clipped = 0, notNumbers = 0;
    if (bits_ == 16) shorts_.resize(count * 2 + 8);
    else buffer_.resize(count * 2 + 8);
    for (std::size_t i = 0; i < count; i += 2) {
        // Two frames: left0 right0 left1 right1 (the tail reads padding).
        const float l1 = i + 1 < count ? left[i + 1] : 0.0f, r1 = i + 1 < count ? right[i + 1] : 0.0f;
        __m128 value = _mm_mul_ps(_mm_setr_ps(left[i], right[i], l1, r1), factor);
        const __m128 number = _mm_cmpord_ps(value, value);
        notNumbers += unsigned(__builtin_popcount(unsigned(_mm_movemask_ps(number) ^ 15)));
        value = _mm_and_ps(value, number);  // NaN becomes silence
        const __m128 beyond = _mm_or_ps(_mm_cmpge_ps(value, clipHigh), _mm_cmplt_ps(value, clipLow));
        clipped += unsigned(__builtin_popcount(unsigned(_mm_movemask_ps(beyond))));
        const __m128i whole = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(value, low), high));
        if (bits_ == 16) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(shorts_.data() + 2 * i), _mm_packs_epi32(whole, whole));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer_.data() + 2 * i), _mm_slli_epi32(whole, 8));
        }
    }
    // The padding lanes of an odd tail are silence, never counted.
    clipped_ += clipped;
    notNumbers_ += notNumbers;
}
#endif

void SampleWriter::roundExactly(const float* left, const float* right, std::size_t frames) {
    buffer_.resize(frames * 2);
    const double scale = std::ldexp(1.0, bits_ - 1);
    const double high = scale - 1.0, low = -scale;
    const int shift = 32 - bits_;
    std::uint64_t clipped = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        double value = static_cast<double>((i & 1) ? right[i / 2] : left[i / 2]) * scale;
        if (dither_) {
            // Triangular: the difference of two uniform values in 0..1 LSB.
            noise_ = noise_ * 1664525u + 1013904223u;
            const double first = static_cast<double>(noise_ >> 8) * (1.0 / 16777216.0);
            noise_ = noise_ * 1664525u + 1013904223u;
            const double second = static_cast<double>(noise_ >> 8) * (1.0 / 16777216.0);
            value += first - second;
        }
        std::int32_t sample;
        if (value >= high + 0.5) {
            sample = static_cast<std::int32_t>(high);
            ++clipped;
        } else if (value < low - 0.5) {
            sample = static_cast<std::int32_t>(low);
            ++clipped;
        } else if (value != value) {
            sample = 0;
            ++notNumbers_;
        } else {
            // In range now, so the conversion (to nearest, ties to even) is defined.
#if defined(__SSE2__)
            sample = _mm_cvtsd_si32(_mm_set_sd(value));
#else
            sample = static_cast<std::int32_t>(std::nearbyint(value));
#endif
        }
        buffer_[i] = static_cast<int>(static_cast<std::uint32_t>(sample) << shift);
    }
    clipped_ += clipped;
}

SampleReader::SampleReader(SNDFILE* file, const SF_INFO& info)
    : file_(file), channels_(info.channels),
      shorts_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {}

sf_count_t SampleReader::read(float* left, float* right, sf_count_t frames) {
    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
    sf_count_t got;
    if (shorts_) {
        shortBuffer_.resize(samples);
        got = sf_readf_short(file_, shortBuffer_.data(), frames);
        const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
        constexpr float unit = 1.0f / 32768.0f;  // libsndfile's own scale for 16-bit
        if (channels_ == 1) {
            for (std::size_t i = 0; i < count; ++i) left[i] = right[i] = shortBuffer_[i] * unit;
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                left[i] = shortBuffer_[2 * i] * unit;
                right[i] = shortBuffer_[2 * i + 1] * unit;
            }
        }
        return got;
    }
    floatBuffer_.resize(samples);
    got = sf_readf_float(file_, floatBuffer_.data(), frames);
    const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (channels_ == 1) {
        for (std::size_t i = 0; i < count; ++i) left[i] = right[i] = floatBuffer_[i];
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            left[i] = floatBuffer_[2 * i];
            right[i] = floatBuffer_[2 * i + 1];
        }
    }
    return got;
}
