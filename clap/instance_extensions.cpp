// The extensions the instance offers: audio ports, latency, tail,
// parameters, state and preset loading. Each entry finds the instance and
// forwards; what it answers for a bad argument is false, 0 or nothing.
#include <cstring>

#include "clap/parameters.h"
#include "clap/instance.h"
#include "clap/presets.h"
#include "host/float_environment.h"

namespace crossfeed_clap {

const clap_plugin_audio_ports_t Instance::kAudioPorts = {portCount, portInfo};
const clap_plugin_latency_t Instance::kLatency = {latency};
const clap_plugin_tail_t Instance::kTail = {tail};
const clap_plugin_params_t Instance::kParams = {parameterCount, parameterInfo, parameterValue,
                                              valueToText,    textToValue,   flush};
const clap_plugin_state_t Instance::kState = {saveState, loadState};
const clap_plugin_preset_load_t Instance::kPresetLoad = {loadPreset};

const void* Instance::extension(const clap_plugin_t*, const char* id) noexcept {
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
    if (std::strcmp(id, CLAP_EXT_TAIL) == 0) return &kTail;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 || std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0)
        return &kPresetLoad;
    return nullptr;
}

// ---- audio ports: one stereo input and one stereo output, in place allowed ----

std::uint32_t Instance::portCount(const clap_plugin_t*, bool) noexcept { return 1; }

bool Instance::portInfo(const clap_plugin_t*, std::uint32_t index, bool input, clap_audio_port_info_t* info) noexcept {
    if (index != 0 || !info) return false;
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    std::strncpy(info->name, input ? "Stereo in" : "Stereo out", sizeof info->name - 1);
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    return true;
}

// ---- latency and tail ----

std::uint32_t Instance::latency(const clap_plugin_t*) noexcept { return 0; }

// The other channel's input reaches the output this many samples later.
std::uint32_t Instance::tail(const clap_plugin_t* plugin) noexcept {
    const Instance* self = of(plugin);
    if (!self) return 0;
    const ModuleFloatEnvironment environment;
    const double delay = self->plain_[crossfeed::kDelayParameter].load(std::memory_order_relaxed);
    return static_cast<std::uint32_t>(
        crossfeed::delaySamplesFor(processorValue(crossfeed::kDelayParameter, delay)));
}

// ---- parameters ----

std::uint32_t Instance::parameterCount(const clap_plugin_t*) noexcept { return crossfeed::kParameterCount; }

bool Instance::parameterInfo(const clap_plugin_t*, std::uint32_t index, clap_param_info_t* info) noexcept {
    crossfeed::Parameter parameter;
    if (!info || !parameterOfId(index, parameter)) return false;
    describe(parameter, *info);
    return true;
}

bool Instance::parameterValue(const clap_plugin_t* plugin, clap_id id, double* value) noexcept {
    const Instance* self = of(plugin);
    crossfeed::Parameter parameter;
    if (!self || !value || !parameterOfId(id, parameter)) return false;
    *value = self->plain_[parameter].load(std::memory_order_relaxed);
    return true;
}

bool Instance::valueToText(const clap_plugin_t*, clap_id id, double value, char* text, std::uint32_t capacity) noexcept {
    crossfeed::Parameter parameter;
    if (!parameterOfId(id, parameter)) return false;
    const ModuleFloatEnvironment environment;
    return valueText(parameter, value, text, capacity);
}

bool Instance::textToValue(const clap_plugin_t*, clap_id id, const char* text, double* value) noexcept {
    crossfeed::Parameter parameter;
    double plain;
    if (!value || !parameterOfId(id, parameter)) return false;
    const ModuleFloatEnvironment environment;
    if (!plainOfText(parameter, text, plain)) return false;
    *value = plain;
    return true;
}

// Outside processing: on the main thread, or on the audio thread between blocks.
void Instance::flush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t*) noexcept {
    Instance* self = of(plugin);
    if (!self) return;
    const ModuleFloatEnvironment environment;
    self->takePosted();
    self->applyEvents(in);
}

// ---- state ----

bool Instance::saveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) noexcept {
    const Instance* self = of(plugin);
    if (!self) return false;
    std::uint8_t bytes[kStateBytes];
    encodeState(self->settings(), bytes);
    return writeAll(stream, bytes, sizeof bytes);
}

// All or nothing: the instance changes only once the whole state has been read.
bool Instance::loadState(const clap_plugin_t* plugin, const clap_istream_t* stream) noexcept {
    Instance* self = of(plugin);
    if (!self) return false;
    std::uint8_t bytes[kStateBytes];
    std::size_t size = 0;
    Settings loaded;
    if (!readToEnd(stream, bytes, sizeof bytes, size) || !decodeState(bytes, size, loaded)) return false;
    const ModuleFloatEnvironment environment;
    self->load(loaded);
    return true;
}

// ---- presets ----

bool Instance::loadPreset(const clap_plugin_t* plugin, std::uint32_t kind, const char* location,
                        const char* key) noexcept {
    Instance* self = of(plugin);
    if (!self) return false;
    const ModuleFloatEnvironment environment;
    return self->loadProgram(kind, location, key);
}

bool Instance::loadProgram(std::uint32_t kind, const char* location, const char* key) noexcept {
    std::int32_t program;
    const clap_host_preset_load_t* host = hostPresetLoad_;
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !programOfKey(key, program)) {
        if (host && host->on_error) host->on_error(host_, kind, location, key, 0, "no such program in Crossfeed");
        return false;
    }
    load(settingsOfProgram(program));
    if (host && host->loaded) host->loaded(host_, kind, location, key);
    return true;
}

}  // namespace crossfeed_clap
