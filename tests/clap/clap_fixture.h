// What the CLAP suites share: the built plug-in file, loaded once per
// program as a host keeps it, and renderings of the same input through it,
// through the processor and through the VST module, with parameter changes
// at given frames.
#pragma once

#include <cstdint>
#include <vector>

#include "clap/clap_host.h"
#include "crossfeed/descriptor.h"
#include "support/samples.h"

ClapLibrary& clapLibrary();

struct Change {
    std::uint32_t frame;
    crossfeed::Parameter parameter;
    double plain;
};

constexpr double kLongestDelay = crossfeed::kParameters[crossfeed::kDelayParameter].maximum;

// Through an active instance, in blocks cycling through `blocks`; each
// change arrives as an event of the block that holds its frame. Outputs
// into the inputs when `inPlace`.
Stereo renderClap(ClapInstance& instance, const Stereo& input, const std::vector<std::uint32_t>& blocks,
                  const std::vector<Change>& changes, bool inPlace = false);

// The processor from a program's values, run in pieces split at the changes.
Stereo renderProcessor(const Stereo& input, std::int32_t program, const std::vector<Change>& changes);

// The VST module on a program, its parameters set between pieces likewise.
Stereo renderModule(const Stereo& input, std::int32_t program, const std::vector<Change>& changes);

// Random changes in range, sorted by frame, all before `frames`.
std::vector<Change> randomChanges(std::uint32_t count, std::uint32_t frames, std::uint32_t seed);
