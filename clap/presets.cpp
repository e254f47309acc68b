#include "clap/presets.h"

#include <cstring>
#include <new>

#include "clap/parameters.h"
#include "crossfeed/descriptor.h"

namespace crossfeed_clap {

namespace {

static_assert(crossfeed::kPresetCount <= 10, "each key is one digit");

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor = {
    CLAP_VERSION_INIT, crossfeed::kClapPresetProviderId, "Crossfeed programs", crossfeed::kVendorName};

const clap_universal_plugin_id_t kPluginId = {"clap", crossfeed::kClapId};

// One provider, made for one indexer.
struct Provider {
    clap_preset_discovery_provider_t record;
    const clap_preset_discovery_indexer_t* indexer;
};

const Provider* providerOf(const clap_preset_discovery_provider_t* record) noexcept {
    return record ? static_cast<const Provider*>(record->provider_data) : nullptr;
}

bool CLAP_ABI declareLocation(const clap_preset_discovery_provider_t* record) noexcept {
    const Provider* provider = providerOf(record);
    if (!provider || !provider->indexer->declare_location) return false;
    const clap_preset_discovery_location_t inside = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Crossfeed programs",
                                                     CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return provider->indexer->declare_location(provider->indexer, &inside);
}

void CLAP_ABI destroyProvider(const clap_preset_discovery_provider_t* record) noexcept {
    delete providerOf(record);
}

bool CLAP_ABI listPrograms(const clap_preset_discovery_provider_t*, std::uint32_t kind, const char*,
                           const clap_preset_discovery_metadata_receiver_t* receiver) noexcept {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver || !receiver->begin_preset) return false;
    for (std::int32_t program = 0; program < crossfeed::kPresetCount; ++program) {
        const char key[2] = {static_cast<char>('0' + program), '\0'};
        if (!receiver->begin_preset(receiver, crossfeed::kPresets[program].name, key)) break;
        if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &kPluginId);
        if (receiver->set_flags) receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    }
    return true;
}

const void* CLAP_ABI providerExtension(const clap_preset_discovery_provider_t*, const char*) noexcept {
    return nullptr;
}

std::uint32_t CLAP_ABI providerCount(const clap_preset_discovery_factory_t*) noexcept { return 1; }

const clap_preset_discovery_provider_descriptor_t* CLAP_ABI providerDescriptor(const clap_preset_discovery_factory_t*,
                                                                              std::uint32_t index) noexcept {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

const clap_preset_discovery_provider_t* CLAP_ABI createProvider(const clap_preset_discovery_factory_t*,
                                                                const clap_preset_discovery_indexer_t* indexer,
                                                                const char* id) noexcept {
    if (!indexer || !id || std::strcmp(id, crossfeed::kClapPresetProviderId) != 0) return nullptr;
    auto* provider = new (std::nothrow) Provider{{&kProviderDescriptor, nullptr, declareLocation, destroyProvider,
                                                  listPrograms, providerExtension},
                                                 indexer};
    if (!provider) return nullptr;
    provider->record.provider_data = provider;
    return &provider->record;
}

}  // namespace

const clap_preset_discovery_factory_t kPresetDiscoveryFactory = {providerCount, providerDescriptor, createProvider};

bool programOfKey(const char* key, std::int32_t& program) noexcept {
    if (!key || key[0] < '0' || key[0] >= '0' + crossfeed::kPresetCount || key[1] != '\0') return false;
    program = key[0] - '0';
    return true;
}

Settings settingsOfProgram(std::int32_t program) noexcept {
    const crossfeed::Preset& preset = crossfeed::kPresets[program];
    return {{plainOfValue(crossfeed::kLevelParameter, preset.level), plainOfValue(crossfeed::kDelayParameter, preset.delay)},
            program};
}

}  // namespace crossfeed_clap
