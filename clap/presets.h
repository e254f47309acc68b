// The four programs as CLAP presets that live inside the plug-in: hosts list
// them through the preset-discovery factory without making an instance,
// and load one through the preset-load extension by its key, the program's
// number ("0" to "3").
#pragma once

#include <clap/factory/preset-discovery.h>

#include <cstdint>

#include "clap/state_format.h"

namespace crossfeed_clap {

extern const clap_preset_discovery_factory_t kPresetDiscoveryFactory;

// False for anything but a program's key.
bool programOfKey(const char* key, std::int32_t& program) noexcept;

// A program's values as plain values; the processor gets the program's
// own bits back from them.
Settings settingsOfProgram(std::int32_t program) noexcept;

}  // namespace crossfeed_clap
