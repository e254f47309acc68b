// The effect's numbers as a listener reads them, said the same way by
// --list, --help, the tags, the response measurements and the manual page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crossfeed/descriptor.h"

// Milliseconds of `samples` at `rate` Hz, to a hundredth: "2.09".
std::string millisecondsAt(std::int32_t samples, double rate);

// At the rate of most music and the rate of most desktops:
// "92 samples = 2.09 ms at 44.1 kHz, 1.92 ms at 48 kHz".
std::string delayAtCommonRates(std::int32_t samples);

// At files' rates: "92 samples = 2.09 ms at 44100 Hz, 0.96 ms at 96000 Hz".
std::string delayAtRates(std::int32_t samples, const std::vector<int>& rates);

// A parameter value as the crossfeed module displays it: "2.089796".
std::string shownText(crossfeed::Parameter parameter, float value);

// What an option of the parameter takes, its top as the module shows it
// without trailing zeros: "0 to 100 %", "0 to 11.60997 ms at 44.1 kHz".
std::string plainRange(crossfeed::Parameter parameter);
