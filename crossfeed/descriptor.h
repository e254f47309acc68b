// What every interface and tool says about the effect, in one place: its
// identity and version, its two parameters (names, units, ranges and the
// conversions between a control's value and the parameter's), its programs
// and the length of its delay rings. The VST texts, the LV2, LADSPA and
// CLAP descriptions and the renderer all take their facts from here.
#pragma once

#include <cmath>
#include <cstdint>

#include "crossfeed/version.h"

namespace crossfeed {

// ---- identity ----

constexpr char kEffectName[] = "Crossfeed";
constexpr char kProductName[] = "Crossfeed";
constexpr char kVendorName[] = "The Crossfeed developers";
constexpr char kDescription[] =
    "A stereo crossfeed for headphone listening: each output is its own input, slightly attenuated, plus the "
    "other channel's input delayed and scaled by the level.";
constexpr char kLicence[] = "MIT";
constexpr char kLicenceUri[] = "https://opensource.org/licenses/MIT";

// Each interface's identifiers. The VST identifier is four characters,
// packed most significant first; LADSPA's "Zm" is its first two.
constexpr char kVstUniqueId[] = "Zmyr";
constexpr std::int32_t kVstCategoryEffect = 1;  // an effect, not an instrument
constexpr char kLv2Uri[] = "urn:crossfeed:crossfeed";
constexpr char kLv2Class[] = "SpatialPlugin";
constexpr unsigned long kLadspaUniqueId = 0x5A6D;
constexpr char kLadspaLabel[] = "crossfeed";
// CLAP's plug-in identifier (reverse DNS) and its preset provider's: hosts
// keep sessions and preset lists by them, so they never change.
constexpr char kClapId[] = "org.crossfeed.crossfeed";
constexpr char kClapPresetProviderId[] = "org.crossfeed.crossfeed.programs";

// ---- version ----

struct Version {
    int major;
    int minor;
    int patch;
};

constexpr Version kVersion{CROSSFEED_VERSION_MAJOR, CROSSFEED_VERSION_MINOR, CROSSFEED_VERSION_PATCH};

// VST hosts read the vendor version digit by digit: 1230 is 1.2.3.0. So
// each part is one digit.
constexpr bool singleDigits(Version v) noexcept {
    return v.major >= 0 && v.major <= 9 && v.minor >= 0 && v.minor <= 9 && v.patch >= 0 && v.patch <= 9;
}
static_assert(singleDigits(kVersion), "each part of the version is one digit");

constexpr std::int32_t vendorVersionOf(Version v) noexcept { return v.major * 1000 + v.minor * 100 + v.patch * 10; }

// False for a number that is not of that form (another module's, say).
constexpr bool versionOfVendorVersion(std::int32_t number, Version& version) noexcept {
    if (number <= 0 || number > 9999 || number % 10 != 0) return false;
    version = {number / 1000, number / 100 % 10, number / 10 % 10};
    return true;
}

// LV2 has only minor.micro (its URI stands for the major), and an odd
// number, or a minor of 0, marks a development version there. So release
// M.m.p is minor 2 (10 M + m) and micro 2 p: even, ordered as the releases
// are, and never 0 from 1.0.0 on. The bundle states "M.m.p" beside them.
constexpr int lv2MinorVersionOf(Version v) noexcept { return 2 * (10 * v.major + v.minor); }
constexpr int lv2MicroVersionOf(Version v) noexcept { return 2 * v.patch; }

struct VersionText {
    char text[16];
};

// "1.2.3"; parts of any size from 0 to 999.
constexpr VersionText versionText(Version v) noexcept {
    VersionText out{};
    const int parts[3] = {v.major, v.minor, v.patch};
    int at = 0;
    for (int part = 0; part < 3; ++part) {
        const int value = parts[part] < 0 ? 0 : parts[part] > 999 ? 999 : parts[part];
        if (value >= 100) out.text[at++] = static_cast<char>('0' + value / 100);
        if (value >= 10) out.text[at++] = static_cast<char>('0' + value / 10 % 10);
        out.text[at++] = static_cast<char>('0' + value % 10);
        if (part < 2) out.text[at++] = '.';
    }
    return out;
}

// ---- the delay rings ----

// Samples in each ring, whatever the sample rate. The delay is a fraction
// of it, a number of samples, shown as milliseconds at 44.1 kHz.
constexpr std::int32_t kRingLength = 512;
// A whole ring's delay would land back on the current sample.
constexpr std::int32_t kLongestDelay = kRingLength - 1;
constexpr double kDisplayRateKilohertz = 44.1;

// The delay in samples that processing applies for a delay parameter.
// Out-of-range and NaN delays must not move the read position out of the
// ring.
inline std::int32_t delaySamplesFor(float delay) noexcept {
    if (!(delay > 0.0f)) delay = 0.0f;
    if (delay > 1.0f) delay = 1.0f;
    const auto samples = static_cast<std::int32_t>(static_cast<float>(kRingLength) * delay);
    return samples < kLongestDelay ? samples : kLongestDelay;
}

// ---- parameters ----

// Each parameter has a value from 0 to 1 (what the VST interface carries
// and the processor takes) and a plain value in its unit (what LV2, LADSPA
// and the renderer's options carry).
enum Parameter : std::int32_t { kLevelParameter = 0, kDelayParameter = 1, kParameterCount = 2 };

struct ParameterFacts {
    const char* symbol;        // LV2 port symbol and renderer option: "level"
    const char* name;          // LV2 port name: "Level"
    const char* nameWithUnit;  // LADSPA port name: "Level (%)"
    const char* vstName;       // VST parameter name (opcode 8): "Inter-Aural"
    const char* vstLabel;      // VST unit label (opcode 6): "X-Over (%)"
    const char* unit;          // "%"
    double maximum;            // plain; every minimum is 0
    const char* description;
};

constexpr ParameterFacts kParameters[kParameterCount] = {
    {"level", "Level", "Level (%)", "Inter-Aural", "X-Over (%)", "%", 100.0,
     "How much of each channel reaches the other ear: 0 % keeps the channels apart, 100 % gives both ears the "
     "same mix."},
    {"delay", "Delay", "Delay (ms at 44.1 kHz)", "Inter-Aural", "Delay (ms)", "ms at 44.1 kHz",
     kRingLength / kDisplayRateKilohertz,
     "How much later the other ear hears each channel. The delay is a number of samples (0 to 511), shown as "
     "milliseconds at 44.1 kHz: at other sample rates the real delay scales by 44100 / rate."},
};

// Plain value to parameter value. The delay's displayed maximum lies a hair
// above the longest delay once rounded, so it is held at 1.
inline float parameterFromPlain(Parameter parameter, double plain) noexcept {
    if (parameter == kDelayParameter)
        return std::fmin(static_cast<float>(plain * kDisplayRateKilohertz / kRingLength), 1.0f);
    return static_cast<float>(plain / 100.0);
}

// The inverse, in double: what to write for a plain value.
inline double plainFromParameter(Parameter parameter, float value) noexcept {
    if (parameter == kDelayParameter) return static_cast<double>(value) * kRingLength / kDisplayRateKilohertz;
    return static_cast<double>(value) * 100.0;
}

// The plain value a parameter value is shown as: the number the VST
// display texts write. The delay is the untruncated ring fraction, so it can
// differ from the delay processing applies (delaySamplesFor).
inline float shownValue(Parameter parameter, float value) noexcept {
    if (parameter == kDelayParameter) {
        const float samples = static_cast<float>(kRingLength) * value;
        return static_cast<float>(samples / kDisplayRateKilohertz);
    }
    return value * 100.0f;
}

// A control's value (an LV2 or LADSPA port) as the parameter it sets. NaN
// and values outside the range land on the nearest bound, NaN on the lower
// one, so a host cannot push the effect where its controls do not reach.
inline float parameterFromControl(Parameter parameter, float control) noexcept {
    const double value = control;
    const double maximum = kParameters[parameter].maximum;
    return parameterFromPlain(parameter, !(value > 0.0) ? 0.0 : value < maximum ? value : maximum);
}

// A plain value typed by a user. The longest delay rounded to 8 characters
// ("11.60998") lies a hair above its exact value, and is taken.
constexpr double kPlainSlack = 5e-6;
inline bool plainInRange(Parameter parameter, double plain) noexcept {
    const double slack = parameter == kDelayParameter ? kPlainSlack : 0.0;
    return plain >= 0.0 && plain <= kParameters[parameter].maximum + slack;
}

// ---- programs ----

// Parameter values, as the parameters take them.
struct Preset {
    const char* name;
    float level;
    float delay;
};

constexpr std::int32_t kPresetCount = 4;
constexpr Preset kPresets[kPresetCount] = {
    {"Bedroom studio", 0.3f, 0.18f},
    {"Lounge room", 0.45f, 0.14f},
    {"Big Head", 0.2f, 1.0f},
    {"Car stereo", 0.25f, 0.1f},
};

// A new instance starts on the first program.
inline float defaultValue(Parameter parameter) noexcept {
    return parameter == kDelayParameter ? kPresets[0].delay : kPresets[0].level;
}

}  // namespace crossfeed
