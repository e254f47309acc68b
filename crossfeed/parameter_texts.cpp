#include <cstring>

#include "crossfeed/crossfeed_effect.h"
#include "crossfeed/parameter_units.h"

namespace {

constexpr char kParameterName[] = "Inter-Aural";
constexpr char kCrossLevelLabel[] = "X-Over (%)";
constexpr char kDelayLabel[] = "Delay (ms)";
constexpr char kEffectName[] = "Crossfeed";
constexpr char kVendorName[] = "The Crossfeed developers";
constexpr char kProductName[] = "Crossfeed";

static_assert(sizeof kParameterName <= kParameterTextBytes, "parameter name fits the host's buffer");
static_assert(sizeof kCrossLevelLabel <= kParameterTextBytes, "label fits the host's buffer");
static_assert(sizeof kDelayLabel <= kParameterTextBytes, "label fits the host's buffer");
static_assert(sizeof kEffectName <= kIdentityTextBytes && sizeof kVendorName <= kIdentityTextBytes &&
                  sizeof kProductName <= kIdentityTextBytes,
              "names fit the host's buffer");

template <std::size_t size>
void copyText(char* text, const char (&source)[size]) noexcept {
    std::memcpy(text, source, size);
}

}  // namespace

void CrossfeedEffect::setProgramName(char* name) noexcept {
    // Host names can be any length; the field keeps 31 characters.
    char* field = programs[programIndex].name;
    std::size_t length = 0;
    while (length < kProgramNameBytes - 1 && name[length] != '\0') ++length;
    std::memcpy(field, name, length);
    field[length] = '\0';
}

void CrossfeedEffect::getProgramName(char* name) noexcept { getProgramNameIndexed(programIndex, name); }

bool16 CrossfeedEffect::getProgramNameIndexed(std::int32_t program, char* name) noexcept {
    if (program < 0 || program >= kProgramCount) return 0;
    const char* field = programs[program].name;
    std::memcpy(name, field, std::strlen(field) + 1);
    return 1;
}

bool16 CrossfeedEffect::getEffectName(char* text) noexcept {
    copyText(text, kEffectName);
    return 1;
}

bool16 CrossfeedEffect::getVendorString(char* text) noexcept {
    copyText(text, kVendorName);
    return 1;
}

bool16 CrossfeedEffect::getProductString(char* text) noexcept {
    copyText(text, kProductName);
    return 1;
}

void CrossfeedEffect::getParameterLabel(std::int32_t index, char* text) noexcept {
    if (index == kCrossLevel) copyText(text, kCrossLevelLabel);
    if (index == kDelayAmount) copyText(text, kDelayLabel);
}

void CrossfeedEffect::getParameterName(std::int32_t index, char* text) noexcept {
    if (index == kCrossLevel || index == kDelayAmount) copyText(text, kParameterName);
}

void CrossfeedEffect::getParameterDisplay(std::int32_t index, char* text) noexcept {
    if (index == kCrossLevel) {
        formatFloat(crossLevel * 100.0f, text);
    } else if (index == kDelayAmount) {
        const float samples = static_cast<float>(delayLength) * delayAmount;
        formatFloat(static_cast<float>(samples / crossfeed_units::kDisplayRateKilohertz), text);
    }
}
