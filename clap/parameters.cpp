#include "clap/parameters.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "host/value_text.h"

namespace crossfeed_clap {

namespace {

bool isSpace(char c) noexcept { return c == ' ' || c == '\t'; }

const char* skipSpaces(const char* text) noexcept {
    while (isSpace(*text)) ++text;
    return text;
}

// Empty, the unit, or the unit's first words: "ms" for "ms at 44.1 kHz".
bool isUnitOrItsStart(const char* text, const char* unit) noexcept {
    std::size_t length = std::strlen(text);
    while (length > 0 && isSpace(text[length - 1])) --length;
    if (length > std::strlen(unit) || std::strncmp(text, unit, length) != 0) return false;
    return unit[length] == '\0' || unit[length] == ' ' || length == 0;
}

}  // namespace

bool parameterOfId(clap_id id, crossfeed::Parameter& parameter) noexcept {
    if (id >= static_cast<clap_id>(crossfeed::kParameterCount)) return false;
    parameter = static_cast<crossfeed::Parameter>(id);
    return true;
}

double heldPlain(crossfeed::Parameter parameter, double plain) noexcept {
    const double maximum = crossfeed::kParameters[parameter].maximum;
    return !(plain > 0.0) ? 0.0 : plain < maximum ? plain : maximum;
}

double plainOfValue(crossfeed::Parameter parameter, float value) noexcept {
    const double exact = crossfeed::plainFromParameter(parameter, value);
    double scale = 1.0;
    // A whole number over an exact power of ten is the nearest double to
    // that decimal, as a host reading its text gets it.
    for (int decimals = 0; decimals <= 9; ++decimals, scale *= 10.0) {
        const double decimal = std::round(exact * scale) / scale;
        if (heldPlain(parameter, decimal) == decimal && processorValue(parameter, decimal) == value) return decimal;
    }
    return exact;
}

void describe(crossfeed::Parameter parameter, clap_param_info_t& info) noexcept {
    const crossfeed::ParameterFacts& facts = crossfeed::kParameters[parameter];
    std::memset(&info, 0, sizeof info);
    info.id = static_cast<clap_id>(parameter);
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    std::strncpy(info.name, facts.name, sizeof info.name - 1);
    info.min_value = 0.0;
    info.max_value = facts.maximum;
    info.default_value = plainOfValue(parameter, crossfeed::defaultValue(parameter));
}

bool valueText(crossfeed::Parameter parameter, double plain, char* text, std::uint32_t capacity) noexcept {
    char number[kNumberTextBytes];
    formatFloatText(crossfeed::shownValue(parameter, processorValue(parameter, plain)), number);
    const char* digits = skipSpaces(number);
    const char* unit = crossfeed::kParameters[parameter].unit;
    const std::size_t digitCount = std::strlen(digits), unitLength = std::strlen(unit);
    if (!text || digitCount + 1 + unitLength + 1 > capacity) return false;
    std::memcpy(text, digits, digitCount);
    text[digitCount] = ' ';
    std::memcpy(text + digitCount + 1, unit, unitLength + 1);
    return true;
}

bool plainOfText(crossfeed::Parameter parameter, const char* text, double& plain) noexcept {
    if (!text) return false;
    const char* start = skipSpaces(text);
    const char* end = start + std::strlen(start);
    double value = 0.0;
    // Plain decimals only, whatever the host's locale: no exponent, no hexadecimal.
    const std::from_chars_result read = std::from_chars(start, end, value, std::chars_format::fixed);
    if (read.ec != std::errc() || !isUnitOrItsStart(skipSpaces(read.ptr), crossfeed::kParameters[parameter].unit) ||
        !crossfeed::plainInRange(parameter, value))
        return false;
    plain = heldPlain(parameter, value);
    return true;
}

}  // namespace crossfeed_clap
