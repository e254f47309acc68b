#include "host/value_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/effect_base.h"
#include "host/numeric.h"

const char kOverflowText[] = " Huge!  ";
const char kMinusInfinityText[] = "   -\xB0   ";

namespace {

constexpr int kFieldWidth = 8;
constexpr int kScratchBytes = 32;

// Exact, so no runtime's pow can change a fraction digit.
constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};

char digitOf(double value) noexcept {
    return static_cast<char>('0' + truncateToInt32(std::fmod(value, 10.0)));
}

}  // namespace

void formatFloatText(float value, char* text) noexcept {
    double v = value;
    bool negative = false;
    int count = 0;
    if (v < 0.0 || v != v) {
        negative = true;
        count = 1;
        v = -v;
        if (v > 9999999.0) {
            std::memcpy(text, kOverflowText, kNumberTextBytes);
            return;
        }
    } else if (v > 99999999.0) {
        std::memcpy(text, kOverflowText, kNumberTextBytes);
        return;
    }

    char scratch[kScratchBytes];
    scratch[kScratchBytes - 1] = '\0';
    scratch[kScratchBytes - 2] = '.';
    int position = kScratchBytes - 3;
    ++count;

    double w = std::floor(v);
    do {
        scratch[position--] = digitOf(w);
        ++count;
        w /= 10.0;
    } while (w >= 1.0 && count < kFieldWidth);

    if (w >= 1.0) {
        // One integer digit more than fits beside the '.': show every digit
        // and drop the '.', rather than lose the leading digit.
        scratch[position--] = digitOf(w);
        if (negative) scratch[position--] = '-';
        std::memcpy(text, scratch + position + 1, kFieldWidth);
        text[kFieldWidth] = '\0';
        return;
    }

    if (negative) scratch[position--] = '-';
    std::strcpy(text, scratch + position + 1);
    if (count == kFieldWidth) return;

    const int n = kFieldWidth - count;
    double f = std::fmod(v, 1.0) * kPowersOfTen[n];
    position = kScratchBytes - 2;
    for (int i = 0; i < n; ++i) {
        if (f > 0.0) {
            scratch[position--] = digitOf(f);
            f /= 10.0;
        } else {
            scratch[position--] = '0';
        }
    }
    std::strcat(text, scratch + position + 1);
}

void formatIntegerText(std::int32_t value, char* text) noexcept {
    // Below -9999999 the number no longer fits; cutting it would show a
    // number ten times too small.
    if (value >= 100000000 || value < -9999999) {
        std::memcpy(text, kOverflowText, kNumberTextBytes);
        return;
    }
    char scratch[kScratchBytes];
    std::snprintf(scratch, sizeof scratch, "%7ld", static_cast<long>(value));
    scratch[kFieldWidth] = '\0';
    std::strcpy(text, scratch);
}

namespace {

// Natural logarithm of a positive finite double, from its binary exponent
// and an atanh series on a mantissa within [sqrt(1/2), sqrt(2)).
double portableLog(double x) noexcept {
    constexpr double kLn2 = 0.693147180559945309417232121458176568;
    constexpr double kSqrtHalf = 0.707106781186547524400844362104849039;
    if (std::isinf(x)) return x;
    int exponent = 0;
    double m = std::frexp(x, &exponent);
    if (m < kSqrtHalf) {
        m *= 2.0;
        --exponent;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double sum = 0.0;
    for (int k = 27; k >= 3; k -= 2) sum = (sum + 1.0 / k) * s2;
    return exponent * kLn2 + 2.0 * s * (1.0 + sum);
}

}  // namespace

float decibelsOf(float ratio) noexcept {
    constexpr double kLn10 = 2.302585092994045684017991454684364208;
    return static_cast<float>(20.0 * (portableLog(ratio) / kLn10));
}

void EffectBase::formatDecibels(float value, char* text) noexcept {
    if (value > 0.0f) {
        formatFloat(decibelsOf(value), text);
    } else {
        std::memcpy(text, kMinusInfinityText, kNumberTextBytes);
    }
}

void EffectBase::formatHertz(float samples, char* text) noexcept {
    const float rate = getSampleRate();
    if (samples == 0.0f || samples != samples) {
        formatFloat(0.0f, text);
    } else {
        formatFloat(rate / samples, text);
    }
}

void EffectBase::formatMilliseconds(float samples, char* text) noexcept {
    const double p = samples * 1000.0;
    const float rate = getSampleRate();
    formatFloat(static_cast<float>(p / rate), text);
}

void EffectBase::formatFloat(float value, char* text) noexcept { formatFloatText(value, text); }

void EffectBase::formatInteger(std::int32_t value, char* text) noexcept { formatIntegerText(value, text); }
