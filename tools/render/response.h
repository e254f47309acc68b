// Measures each program's responses through the module.
#pragma once

#include <string>
#include <vector>

#include "loader/plugin_host.h"
#include "render/options.h"

struct ProgramResponse {
    std::string name;
    std::vector<double> direct;  // left output for an impulse on the left
    std::vector<double> cross;   // right output for the same impulse
    std::vector<double> centre;  // either output for an impulse on both
    std::vector<double> centreDb;  // |centre| at each measured frequency
};

constexpr double kResponseRate = 44100.0;
constexpr int kImpulseLength = 512;  // longer than the longest delay the ring holds

// Log-spaced from 20 Hz to 20 kHz, fine enough to resolve the comb's notches.
std::vector<double> responseFrequencies();

std::vector<ProgramResponse> measureResponses(const PluginModule& module, std::string& error);

// The measurements as CSV: magnitudes first, then the impulse responses.
std::string responseCsv(const std::vector<ProgramResponse>& responses);

// The --response mode: measures and writes FILE (or standard output) safely.
int writeResponse(const RenderOptions& options, const PluginModule& module, const std::string& modulePath);
