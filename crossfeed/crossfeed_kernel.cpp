#include "crossfeed/crossfeed_kernel.h"

#if defined(__SSE2__)
#include <immintrin.h>
#define CROSSFEED_X86 1
#else
#define CROSSFEED_X86 0
#endif

namespace {

template <bool adding, bool storing>
inline void scalarFrames(const CrossfeedSpan& s, std::int32_t from, std::int32_t to, double cross,
                         double direct) noexcept {
    for (std::int32_t i = from; i < to; ++i) {
        const float left = s.inLeft[i];
        const float right = s.inRight[i];
        double leftResult = static_cast<double>(s.delayedRight[i]) * cross + direct * left;
        double rightResult = static_cast<double>(s.delayedLeft[i]) * cross + direct * right;
        if (storing) {
            s.ringLeft[i] = left;
            s.ringRight[i] = right;
        }
        if (adding) {
            leftResult += s.outLeft[i];
            rightResult += s.outRight[i];
        }
        s.outLeft[i] = static_cast<float>(leftResult);
        s.outRight[i] = static_cast<float>(rightResult);
    }
}

template <bool adding, bool storing>
void scalarLoop(const CrossfeedSpan& span, std::int32_t frames, double cross, double direct) noexcept {
    scalarFrames<adding, storing>(span, 0, frames, cross, direct);
}

// Picks the loop that stores into a ring or the one that does not, once per call.
#define CROSSFEED_KERNEL(name, loop, ...)                                                                 \
    template <bool adding>                                                                                \
    __VA_ARGS__ void name(const CrossfeedSpan& span, std::int32_t frames, double cross, double direct) noexcept {     \
        if (span.ringLeft)                                                                                \
            loop<adding, true>(span, frames, cross, direct);                                              \
        else                                                                                              \
            loop<adding, false>(span, frames, cross, direct);                                             \
    }

CROSSFEED_KERNEL(scalarKernel, scalarLoop, )

#if CROSSFEED_X86

// Two frames of one channel: the float pair at `p` widened to double.
inline __m128d widenLow(__m128 v) noexcept { return _mm_cvtps_pd(v); }
inline __m128d widenHigh(__m128 v) noexcept { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }

template <bool adding>
inline __m128 sse2Channel(__m128 in, __m128 delayed, const float* out, __m128d cross, __m128d direct) noexcept {
    __m128d low = _mm_add_pd(_mm_mul_pd(widenLow(delayed), cross), _mm_mul_pd(widenLow(in), direct));
    __m128d high = _mm_add_pd(_mm_mul_pd(widenHigh(delayed), cross), _mm_mul_pd(widenHigh(in), direct));
    if (adding) {
        const __m128 old = _mm_loadu_ps(out);
        low = _mm_add_pd(low, widenLow(old));
        high = _mm_add_pd(high, widenHigh(old));
    }
    return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

constexpr std::int32_t kSse2Step = 4;
static_assert(kSse2Step <= kWidestKernelStep, "the SSE2 step reads no sample it stores itself");

template <bool adding, bool storing>
void sse2Loop(const CrossfeedSpan& s, std::int32_t frames, double crossWeight, double directWeight) noexcept {
    const __m128d cross = _mm_set1_pd(crossWeight);
    const __m128d direct = _mm_set1_pd(directWeight);
    std::int32_t i = 0;
    for (; i + kSse2Step <= frames; i += kSse2Step) {
        // Every load of a frame comes before its stores: in-place safe.
        const __m128 inLeft = _mm_loadu_ps(s.inLeft + i);
        const __m128 inRight = _mm_loadu_ps(s.inRight + i);
        const __m128 left = sse2Channel<adding>(inLeft, _mm_loadu_ps(s.delayedRight + i), s.outLeft + i, cross, direct);
        const __m128 right =
            sse2Channel<adding>(inRight, _mm_loadu_ps(s.delayedLeft + i), s.outRight + i, cross, direct);
        if (storing) {
            _mm_storeu_ps(s.ringLeft + i, inLeft);
            _mm_storeu_ps(s.ringRight + i, inRight);
        }
        _mm_storeu_ps(s.outLeft + i, left);
        _mm_storeu_ps(s.outRight + i, right);
    }
    scalarFrames<adding, storing>(s, i, frames, crossWeight, directWeight);
}

CROSSFEED_KERNEL(sse2Kernel, sse2Loop, )

// Both products are exact in double, so one fused multiply-add rounds the
// same sum the separate multiply and add round.
#define CROSSFEED_AVX __attribute__((target("avx,fma")))

template <bool adding>
CROSSFEED_AVX inline __m128 avxChannel(__m128 in, __m128 delayed, const float* out, __m256d cross,
                                       __m256d direct) noexcept {
    __m256d sum = _mm256_fmadd_pd(_mm256_cvtps_pd(delayed), cross, _mm256_mul_pd(_mm256_cvtps_pd(in), direct));
    if (adding) sum = _mm256_add_pd(sum, _mm256_cvtps_pd(_mm_loadu_ps(out)));
    return _mm256_cvtpd_ps(sum);
}

constexpr std::int32_t kAvxStep = 4;
static_assert(kAvxStep <= kWidestKernelStep, "the AVX step reads no sample it stores itself");

template <bool adding, bool storing>
CROSSFEED_AVX void avxLoop(const CrossfeedSpan& s, std::int32_t frames, double crossWeight,
                           double directWeight) noexcept {
    const __m256d cross = _mm256_set1_pd(crossWeight);
    const __m256d direct = _mm256_set1_pd(directWeight);
    std::int32_t i = 0;
    for (; i + kAvxStep <= frames; i += kAvxStep) {
        const __m128 inLeft = _mm_loadu_ps(s.inLeft + i);
        const __m128 inRight = _mm_loadu_ps(s.inRight + i);
        const __m128 left = avxChannel<adding>(inLeft, _mm_loadu_ps(s.delayedRight + i), s.outLeft + i, cross, direct);
        const __m128 right =
            avxChannel<adding>(inRight, _mm_loadu_ps(s.delayedLeft + i), s.outRight + i, cross, direct);
        if (storing) {
            _mm_storeu_ps(s.ringLeft + i, inLeft);
            _mm_storeu_ps(s.ringRight + i, inRight);
        }
        _mm_storeu_ps(s.outLeft + i, left);
        _mm_storeu_ps(s.outRight + i, right);
    }
    scalarFrames<adding, storing>(s, i, frames, crossWeight, directWeight);
}

CROSSFEED_KERNEL(avxKernel, avxLoop, CROSSFEED_AVX)

bool runsAvx() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
}

constexpr CrossfeedKernels kKernelSets[] = {
    {scalarKernel<false>, scalarKernel<true>, "scalar"},
    {sse2Kernel<false>, sse2Kernel<true>, "sse2"},
    {avxKernel<false>, avxKernel<true>, "avx+fma"},
};

int runnableSets() noexcept { return runsAvx() ? 3 : 2; }

#else

constexpr CrossfeedKernels kKernelSets[] = {
    {scalarKernel<false>, scalarKernel<true>, "scalar"},
};

int runnableSets() noexcept { return 1; }

#endif

}  // namespace

CrossfeedKernelTable availableCrossfeedKernels() noexcept { return {kKernelSets, runnableSets()}; }

CrossfeedKernels fastestCrossfeedKernels() noexcept { return kKernelSets[runnableSets() - 1]; }
