// The two parameters as CLAP carries them: plain values as doubles in the
// units of the LV2 ports (percent; milliseconds at 44.1 kHz), so the same
// number sets the same processor value in every interface.
#pragma once

#include <clap/ext/params.h>

#include <cstdint>

#include "crossfeed/descriptor.h"

namespace crossfeed_clap {

// A parameter's id is its number in the descriptor. False for any other id.
bool parameterOfId(clap_id id, crossfeed::Parameter& parameter) noexcept;

// A host's value held to the range, NaN at the lower end, as the LV2 ports
// hold theirs.
double heldPlain(crossfeed::Parameter parameter, double plain) noexcept;

// The value the processor takes for a plain value.
inline float processorValue(crossfeed::Parameter parameter, double plain) noexcept {
    return crossfeed::parameterFromPlain(parameter, heldPlain(parameter, plain));
}

// The shortest decimal plain value that sets exactly `value`: how the
// default and the programs read in a host ("30", "2.089796").
double plainOfValue(crossfeed::Parameter parameter, float value) noexcept;

void describe(crossfeed::Parameter parameter, clap_param_info_t& info) noexcept;

// "30.00000 %": the number the VST display shows for the value, and the
// unit. False when it does not fit `capacity` bytes with its zero.
bool valueText(crossfeed::Parameter parameter, double plain, char* text, std::uint32_t capacity) noexcept;

// Reads a plain decimal, as valueText writes it or a user types it, with
// or without the unit (or its first words). False for anything else and
// for values outside the range.
bool plainOfText(crossfeed::Parameter parameter, const char* text, double& plain) noexcept;

}  // namespace crossfeed_clap
