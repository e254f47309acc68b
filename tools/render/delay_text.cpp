#include "render/delay_text.h"

#include <cstdio>

#include "host/value_text.h"

namespace {

std::string samplesText(std::int32_t samples) {
    return std::to_string(samples) + (samples == 1 ? " sample" : " samples");
}

}  // namespace

std::string millisecondsAt(std::int32_t samples, double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", 1000.0 * samples / rate);
    return text;
}

std::string delayAtCommonRates(std::int32_t samples) {
    return samplesText(samples) + " = " + millisecondsAt(samples, 44100.0) + " ms at 44.1 kHz, " +
           millisecondsAt(samples, 48000.0) + " ms at 48 kHz";
}

std::string delayAtRates(std::int32_t samples, const std::vector<int>& rates) {
    std::string text = samplesText(samples) + " = ";
    for (std::size_t i = 0; i < rates.size(); ++i)
        text += (i ? ", " : "") + millisecondsAt(samples, rates[i]) + " ms at " + std::to_string(rates[i]) + " Hz";
    return text;
}

std::string shownText(crossfeed::Parameter parameter, float value) {
    char text[kNumberTextBytes] = {};
    formatFloatText(crossfeed::shownValue(parameter, value), text);
    std::string shown = text;
    const auto first = shown.find_first_not_of(' ');
    const auto last = shown.find_last_not_of(' ');
    return first == std::string::npos ? "" : shown.substr(first, last - first + 1);
}

std::string plainRange(crossfeed::Parameter parameter) {
    std::string top = shownText(parameter, 1.0f);
    if (top.find('.') != std::string::npos) {
        top.erase(top.find_last_not_of('0') + 1);
        if (top.back() == '.') top.pop_back();
    }
    return "0 to " + top + " " + crossfeed::kParameters[parameter].unit;
}
