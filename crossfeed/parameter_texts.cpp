#include <cstring>

#include "crossfeed/crossfeed_effect.h"

namespace {

using crossfeed::kParameters;

constexpr bool fits(const char* text, std::size_t bytes) noexcept {
    std::size_t length = 0;
    while (text[length] != '\0') ++length;
    return length < bytes;
}

constexpr bool parameterTextsFit() noexcept {
    for (const crossfeed::ParameterFacts& facts : kParameters)
        if (!fits(facts.vstName, kParameterTextBytes) || !fits(facts.vstLabel, kParameterTextBytes)) return false;
    return true;
}

constexpr bool programNamesFit() noexcept {
    for (const crossfeed::Preset& preset : crossfeed::kPresets)
        if (!fits(preset.name, kProgramNameBytes)) return false;
    return true;
}

static_assert(parameterTextsFit(), "parameter names and labels fit the host's buffer");
static_assert(programNamesFit(), "program names fit their field");
static_assert(fits(crossfeed::kEffectName, kIdentityTextBytes) && fits(crossfeed::kVendorName, kIdentityTextBytes) &&
                  fits(crossfeed::kProductName, kIdentityTextBytes),
              "names fit the host's buffer");

void copyText(char* text, const char* source) noexcept { std::memcpy(text, source, std::strlen(source) + 1); }

bool isParameter(std::int32_t index) noexcept { return index >= 0 && index < crossfeed::kParameterCount; }

}  // namespace

void CrossfeedEffect::setProgramName(char* name) noexcept {
    // Host names can be any length; the field keeps 31 characters.
    char* field = programs[currentProgram].name;
    std::size_t length = 0;
    while (length < kProgramNameBytes - 1 && name[length] != '\0') ++length;
    std::memcpy(field, name, length);
    field[length] = '\0';
}

void CrossfeedEffect::getProgramName(char* name) noexcept { getProgramNameIndexed(currentProgram, name); }

bool16 CrossfeedEffect::getProgramNameIndexed(std::int32_t program, char* name) noexcept {
    if (program < 0 || program >= kProgramCount) return 0;
    copyText(name, programs[program].name);
    return 1;
}

bool16 CrossfeedEffect::getEffectName(char* text) noexcept {
    copyText(text, crossfeed::kEffectName);
    return 1;
}

bool16 CrossfeedEffect::getVendorString(char* text) noexcept {
    copyText(text, crossfeed::kVendorName);
    return 1;
}

bool16 CrossfeedEffect::getProductString(char* text) noexcept {
    copyText(text, crossfeed::kProductName);
    return 1;
}

void CrossfeedEffect::getParameterLabel(std::int32_t index, char* text) noexcept {
    if (isParameter(index)) copyText(text, kParameters[index].vstLabel);
}

void CrossfeedEffect::getParameterName(std::int32_t index, char* text) noexcept {
    if (isParameter(index)) copyText(text, kParameters[index].vstName);
}

void CrossfeedEffect::getParameterDisplay(std::int32_t index, char* text) noexcept {
    if (isParameter(index)) {
        const auto parameter = static_cast<crossfeed::Parameter>(index);
        formatFloat(crossfeed::shownValue(parameter, CrossfeedEffect::getParameter(index)), text);
    }
}
