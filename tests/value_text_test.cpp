// The framework's number texts: the documented values, sweeps against an
// independent computation, and the unit conversions' use of the virtual table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "host/effect_base.h"
#include "host/value_text.h"
#include "support/samples.h"

namespace {

// Checks the 9-byte limit with guard bytes and returns the text.
template <typename Format>
std::string guarded(Format format) {
    char buffer[32];
    std::memset(buffer, 0x5A, sizeof buffer);
    format(buffer);
    for (std::size_t i = kNumberTextBytes; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0x5A) << "overrun at " << i;
    EXPECT_NE(std::memchr(buffer, '\0', kNumberTextBytes), nullptr);
    return std::string(buffer);
}

std::string floatText(float value) {
    return guarded([&](char* text) { formatFloatText(value, text); });
}
std::string integerText(std::int32_t value) {
    return guarded([&](char* text) { formatIntegerText(value, text); });
}

// The same texts built another way: exact integer digits from a 64-bit
// integer, fraction digits from the truncated scaled fraction.
std::string independentFloatText(float value) {
    double v = value;
    const bool negative = v < 0.0 || std::isnan(v);
    if (negative) v = -v;
    if (negative ? v > 9999999.0 : v > 99999999.0) return " Huge!  ";
    if (std::isnan(v)) return "-0.00000";
    std::string text = negative ? "-" : "";
    text += std::to_string(static_cast<unsigned long long>(std::floor(v)));
    if (text.size() == 8) return text;
    text += '.';
    const int n = 8 - static_cast<int>(text.size());
    if (n == 0) return text;
    const double scale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    const auto fraction = static_cast<unsigned long long>(std::fmod(v, 1.0) * scale[n]);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*llu", n, fraction);
    return text + digits;
}

// Digits by repeated division, right-aligned in seven places with blanks.
std::string independentIntegerText(std::int32_t value) {
    if (value >= 100000000 || value < -9999999) return " Huge!  ";
    std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) digits.insert(digits.begin(), '-');
    return std::string(digits.size() < 7 ? 7 - digits.size() : 0, ' ') + digits;
}

TEST(FormatFloat, DocumentedValues) {
    const struct {
        std::uint32_t bits;
        const char* text;
    } cases[] = {
        {0x00000000, "0.000000"}, {0x80000000, "0.000000"}, {0x3F800000, "1.000000"}, {0x41F00000, "30.00000"},
        {0x42C80000, "100.0000"}, {0x42F6E979, "123.4560"}, {0x472C4400, "44100.00"}, {0x4996B438, "1234567."},
        {0x4B18967F, "9999999."}, {0x4005BF38, "2.089796"}, {0x4005BF37, "2.089795"}, {0x3E99999A, "0.300000"},
        {0x3F333333, "0.699999"}, {0x3727C5AC, "0.000009"}, {0xBFC00000, "-1.50000"}, {0xBE800000, "-0.25000"},
        {0xC14570A4, "-12.3400"}, {0xB58637BD, "-0.00000"}, {0xC7F12000, "-123456."}, {0xC97423F0, "-999999."},
        {0x4CBEBC20, " Huge!  "}, {0xCB189680, " Huge!  "}, {0x7F800000, " Huge!  "}, {0xFF800000, " Huge!  "},
        {0x7FC00000, "-0.00000"}, {0xFFC00000, "-0.00000"},
        // One integer digit more than fits beside the '.': every digit, no '.'.
        {0x4B3C614E, "12345678"}, {0x4CBEBC1F, "99999992"}, {0x4B189680, "10000000"},
        {0xC9742400, "-1000000"}, {0xCB18967F, "-9999999"}};
    for (const auto& c : cases) EXPECT_EQ(floatText(floatFromBits(c.bits)), c.text) << std::hex << c.bits;
}

TEST(FormatFloat, SweepMatchesAnIndependentComputation) {
    // Every 4099th bit pattern covers all exponents, both signs, NaNs and
    // subnormals; the dense ranges cover the texts a host shows most.
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 16411) {
        const float value = floatFromBits(static_cast<std::uint32_t>(bits));
        ASSERT_EQ(floatText(value), independentFloatText(value)) << std::hex << bits << " " << value;
    }
    for (int i = -200000; i <= 200000; ++i) {
        const float value = static_cast<float>(i) / 1000.0f;
        ASSERT_EQ(floatText(value), independentFloatText(value)) << value;
    }
    for (int i = 0; i <= 1000; ++i) {
        const float level = static_cast<float>(i) / 1000.0f;
        ASSERT_EQ(floatText(level * 100.0f), independentFloatText(level * 100.0f));
        const float ms = static_cast<float>(512.0f * level / 44.1);
        ASSERT_EQ(floatText(ms), independentFloatText(ms));
    }
}

TEST(FormatInteger, DocumentedValuesAndSweep) {
    const struct {
        std::int32_t value;
        const char* text;
    } cases[] = {{0, "      0"},          {-5, "     -5"},         {1234567, "1234567"},    {99999999, "99999999"},
                 {100000000, " Huge!  "}, {INT32_MAX, " Huge!  "}, {-9999999, "-9999999"},  {-999999, "-999999"},
                 {10000000, "10000000"},  {-12345678, " Huge!  "}, {INT32_MIN, " Huge!  "}, {-10000000, " Huge!  "}};
    for (const auto& c : cases) EXPECT_EQ(integerText(c.value), c.text) << c.value;
    for (std::int64_t v = INT32_MIN; v <= INT32_MAX; v += 99991) {
        const auto value = static_cast<std::int32_t>(v);
        ASSERT_EQ(integerText(value), independentIntegerText(value)) << value;
    }
}

// An effect whose sample rate and number texts can be set, to test the unit
// conversions through the virtual table.
class UnitEffect : public EffectBase {
public:
    UnitEffect() : EffectBase(nullptr, 1, 1) {}
    void processAdding(float**, float**, std::int32_t) noexcept override {}
    float getSampleRate() noexcept override { return rate; }
    void formatFloat(float value, char* text) noexcept override {
        if (fixed)
            std::strcpy(text, "fixed!!!");
        else
            EffectBase::formatFloat(value, text);
    }
    std::string decibels(float value) {
        return guarded([&](char* text) { formatDecibels(value, text); });
    }
    std::string hertz(float value) {
        return guarded([&](char* text) { formatHertz(value, text); });
    }
    std::string milliseconds(float value) {
        return guarded([&](char* text) { formatMilliseconds(value, text); });
    }
    float rate = 44100.0f;
    bool fixed = false;
};

TEST(UnitConversions, DocumentedValues) {
    UnitEffect effect;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string minusInfinity = "   -\xB0   ";
    EXPECT_EQ(effect.decibels(1.0f), "0.000000");
    EXPECT_EQ(effect.decibels(10.0f), "20.00000");
    EXPECT_EQ(effect.decibels(0.1f), "-20.0000");
    EXPECT_EQ(effect.decibels(2.0f), "6.020599");
    EXPECT_EQ(effect.decibels(0.5f), "-6.02059");
    EXPECT_EQ(effect.decibels(0.001f), "-60.0000");
    EXPECT_EQ(effect.decibels(inf), " Huge!  ");
    for (float value : {0.0f, -0.0f, -1.0f, nan, -inf}) EXPECT_EQ(effect.decibels(value), minusInfinity) << value;

    EXPECT_EQ(effect.hertz(1.0f), "44100.00");
    EXPECT_EQ(effect.hertz(100.0f), "441.0000");
    EXPECT_EQ(effect.hertz(512.0f), "86.13281");
    EXPECT_EQ(effect.hertz(-100.0f), "-441.000");
    EXPECT_EQ(effect.hertz(0.0f), "0.000000");
    EXPECT_EQ(effect.hertz(-0.0f), "0.000000");
    EXPECT_EQ(effect.hertz(nan), "0.000000");

    EXPECT_EQ(effect.milliseconds(441.0f), "10.00000");
    EXPECT_EQ(effect.milliseconds(512.0f), "11.60997");
    EXPECT_EQ(effect.milliseconds(22050.0f), "500.0000");
    EXPECT_EQ(effect.milliseconds(44100.0f), "1000.000");
    EXPECT_EQ(effect.milliseconds(1.0f), "0.022675");
    EXPECT_EQ(effect.milliseconds(floatFromBits(0x42306666)), "0.999999");
    EXPECT_EQ(effect.milliseconds(-441.0f), "-10.0000");

    effect.rate = 0.0f;
    EXPECT_EQ(effect.milliseconds(1.0f), " Huge!  ");
    EXPECT_EQ(effect.milliseconds(0.0f), "-0.00000");
    EXPECT_EQ(effect.hertz(100.0f), "0.000000");
    EXPECT_EQ(effect.hertz(0.0f), "0.000000");
}

TEST(UnitConversions, GoThroughTheVirtualTable) {
    UnitEffect effect;
    effect.rate = 48000.0f;
    EXPECT_EQ(effect.hertz(480.0f), "100.0000");
    EXPECT_EQ(effect.milliseconds(48.0f), "1.000000");
    effect.fixed = true;
    EXPECT_EQ(effect.decibels(2.0f), "fixed!!!");
    EXPECT_EQ(effect.hertz(2.0f), "fixed!!!");
    EXPECT_EQ(effect.milliseconds(2.0f), "fixed!!!");
    EXPECT_EQ(effect.decibels(0.0f), "   -\xB0   ");  // not a number to format
}

TEST(UnitConversions, DecibelsAgreeWithTheMathLibrary) {
    // Our logarithm is the same on every target; it must also be as good as
    // the platform's: at most one float step apart, almost always equal.
    int differing = 0;
    for (std::uint32_t bits = 0x00000001; bits < 0x7F800000; bits += 997) {
        const float ratio = floatFromBits(bits);
        const float ours = decibelsOf(ratio);
        const float library = static_cast<float>(20.0 * std::log10(static_cast<double>(ratio)));
        ASSERT_LE(std::fabs(ours - library), std::fabs(std::nextafter(library, 0.0f) - library)) << ratio;
        if (ours != library) ++differing;
    }
    EXPECT_LT(differing, 50);
}

}  // namespace
