// Measures each program's responses through the module.
#pragma once

#include <string>
#include <vector>

#include "crossfeed/descriptor.h"
#include "loader/plugin_host.h"
#include "render/options.h"

// The rates a listener meets most: music's and most desktops'.
constexpr double kResponseRates[] = {44100.0, 48000.0};
constexpr int kRateCount = 2;
// Every delay the ring holds, and the sample after it.
constexpr int kImpulseLength = crossfeed::kLongestDelay + 1;

struct ProgramResponse {
    std::string name;
    std::string levelShown, delayShown;  // the module's texts
    std::vector<double> direct;  // left output for an impulse on the left
    std::vector<double> cross;   // right output for the same impulse
    std::vector<double> centre;  // either output for an impulse on both
    std::vector<double> centreDb[kRateCount];  // |centre| at each measured frequency, at each rate

    // Read off the measurements above: the first cross sample that is not
    // silent (-1 when none is), and a centred source's level in dB.
    int delaySamples() const;
    double centreDbAt(double frequency, double rate) const;
    // Its level averaged over frequency, in power: the impulse's energy.
    double averageDb() const;
};

// Log-spaced from 20 Hz to 20 kHz, fine enough to resolve the comb's notches.
std::vector<double> responseFrequencies();

std::vector<ProgramResponse> measureResponses(const PluginModule& module, std::string& error);

// The measurements as CSV: magnitudes at 44.1 kHz, the impulse responses,
// magnitudes at 48 kHz, and what each program does in numbers.
std::string responseCsv(const std::vector<ProgramResponse>& responses);

// The --response mode: measures and writes FILE (or standard output) safely.
int writeResponse(const RenderOptions& options, const PluginModule& module, const std::string& modulePath);
