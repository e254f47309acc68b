#include "clap/parameters.h"

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

// Exact: each is a double with no rounding.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kKeptDigits = 15;

// A plain decimal ("12", "12.5", ".5", "12."), whatever the host's locale;
// null when there is none. Up to 15 significant digits make a whole number
// below 2^53, and that over an exact power of ten rounds once, as a correct
// reading does; digits past them are dropped.
const char* readDecimal(const char* text, double& value) noexcept {
    std::uint64_t whole = 0;
    int kept = 0, decimals = 0;
    bool digits = false, point = false;
    for (;; ++text) {
        if (*text == '.' && !point) {
            point = true;
            continue;
        }
        if (*text < '0' || *text > '9') break;
        digits = true;
        if (kept == kKeptDigits || (point && decimals == 22)) {
            if (!point) return nullptr;  // far beyond any range
            continue;
        }
        if (whole != 0 || *text != '0') ++kept;
        whole = whole * 10 + static_cast<std::uint64_t>(*text - '0');
        if (point) ++decimals;
    }
    if (!digits) return nullptr;
    value = static_cast<double>(whole) / kPowersOfTen[decimals];
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
    double value = 0.0;
    const char* end = readDecimal(skipSpaces(text), value);
    if (!end || !isUnitOrItsStart(skipSpaces(end), crossfeed::kParameters[parameter].unit) ||
        !crossfeed::plainInRange(parameter, value))
        return false;
    plain = heldPlain(parameter, value);
    return true;
}

}  // namespace crossfeed_clap
