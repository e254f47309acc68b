// The CLAP plug-in file: its one exported record, `clap_entry`, and the two
// factories it hands out: one for the plug-in, one for its presets. All of
// it is constant, so nothing runs when a host loads the file to scan it.
#include <clap/clap.h>

#include <cstring>

#include "clap/instance.h"
#include "clap/presets.h"
#include "crossfeed/descriptor.h"

namespace crossfeed_clap {

namespace {

constexpr crossfeed::VersionText kVersionText = crossfeed::versionText(crossfeed::kVersion);
const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO, nullptr};

std::uint32_t CLAP_ABI pluginCount(const clap_plugin_factory_t*) noexcept { return 1; }

const clap_plugin_descriptor_t* CLAP_ABI pluginDescriptor(const clap_plugin_factory_t*, std::uint32_t index) noexcept {
    return index == 0 ? &kPluginDescriptor : nullptr;
}

const clap_plugin_t* CLAP_ABI createPlugin(const clap_plugin_factory_t*, const clap_host_t* host,
                                           const char* id) noexcept {
    if (!id || std::strcmp(id, crossfeed::kClapId) != 0) return nullptr;
    return Instance::create(host);
}

const clap_plugin_factory_t kPluginFactory = {pluginCount, pluginDescriptor, createPlugin};

// Nothing to set up or tear down, so any number of calls in any order is fine.
bool CLAP_ABI initEntry(const char*) noexcept { return true; }
void CLAP_ABI deinitEntry() noexcept {}

const void* CLAP_ABI factory(const char* id) noexcept {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kPluginFactory;
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
        std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
        return &kPresetDiscoveryFactory;
    return nullptr;
}

}  // namespace

const clap_plugin_descriptor_t kPluginDescriptor = {
    CLAP_VERSION_INIT, crossfeed::kClapId,    crossfeed::kEffectName, crossfeed::kVendorName, "", "", "",
    kVersionText.text, crossfeed::kDescription, kFeatures};

}  // namespace crossfeed_clap

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, crossfeed_clap::initEntry,
                                                              crossfeed_clap::deinitEntry, crossfeed_clap::factory};
