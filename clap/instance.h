// One CLAP instance of the crossfeed: the record the host holds, the
// processor, and the parameter values as CLAP carries them. Every entry of
// the record and of the extensions is a private static trampoline that
// finds the instance behind the record and forwards to it.
//
// Threads, as CLAP has them: the main thread creates, activates and loads;
// while active, only the audio thread touches the processor. Plain values
// are atomics, so the main thread reads them while the audio thread writes
// them; settings the main thread loads while active go through a mailbox
// the audio thread empties at its next block.
#pragma once

#include <clap/clap.h>

#include <atomic>
#include <cstdint>

#include "clap/settings_mailbox.h"
#include "clap/state_format.h"
#include "crossfeed/crossfeed_processor.h"
#include "crossfeed/descriptor.h"

namespace crossfeed_clap {

extern const clap_plugin_descriptor_t kPluginDescriptor;

// The host's stereo buffers, or null where it gave none usable.
struct Channels {
    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
};

class Instance {
public:
    // Null for a host that cannot be served, or when memory runs out.
    static const clap_plugin_t* create(const clap_host_t* host) noexcept;

    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

private:
    explicit Instance(const clap_host_t* host) noexcept;
    ~Instance() = default;
    static Instance* of(const clap_plugin_t* plugin) noexcept;

    // The record's entries.
    static bool CLAP_ABI init(const clap_plugin_t* plugin) noexcept;
    static void CLAP_ABI destroy(const clap_plugin_t* plugin) noexcept;
    static bool CLAP_ABI activate(const clap_plugin_t* plugin, double rate, std::uint32_t least,
                                  std::uint32_t most) noexcept;
    static void CLAP_ABI deactivate(const clap_plugin_t* plugin) noexcept;
    static bool CLAP_ABI startProcessing(const clap_plugin_t* plugin) noexcept;
    static void CLAP_ABI stopProcessing(const clap_plugin_t* plugin) noexcept;
    static void CLAP_ABI reset(const clap_plugin_t* plugin) noexcept;
    static clap_process_status CLAP_ABI process(const clap_plugin_t* plugin, const clap_process_t* process) noexcept;
    static const void* CLAP_ABI extension(const clap_plugin_t* plugin, const char* id) noexcept;
    static void CLAP_ABI onMainThread(const clap_plugin_t* plugin) noexcept;

    // The extensions' entries (instance_extensions.cpp).
    static std::uint32_t CLAP_ABI portCount(const clap_plugin_t* plugin, bool input) noexcept;
    static bool CLAP_ABI portInfo(const clap_plugin_t* plugin, std::uint32_t index, bool input,
                                  clap_audio_port_info_t* info) noexcept;
    static std::uint32_t CLAP_ABI latency(const clap_plugin_t* plugin) noexcept;
    static std::uint32_t CLAP_ABI tail(const clap_plugin_t* plugin) noexcept;
    static std::uint32_t CLAP_ABI parameterCount(const clap_plugin_t* plugin) noexcept;
    static bool CLAP_ABI parameterInfo(const clap_plugin_t* plugin, std::uint32_t index,
                                       clap_param_info_t* info) noexcept;
    static bool CLAP_ABI parameterValue(const clap_plugin_t* plugin, clap_id id, double* value) noexcept;
    static bool CLAP_ABI valueToText(const clap_plugin_t* plugin, clap_id id, double value, char* text,
                                     std::uint32_t capacity) noexcept;
    static bool CLAP_ABI textToValue(const clap_plugin_t* plugin, clap_id id, const char* text,
                                     double* value) noexcept;
    static void CLAP_ABI flush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                               const clap_output_events_t* out) noexcept;
    static bool CLAP_ABI saveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) noexcept;
    static bool CLAP_ABI loadState(const clap_plugin_t* plugin, const clap_istream_t* stream) noexcept;
    static bool CLAP_ABI loadPreset(const clap_plugin_t* plugin, std::uint32_t kind, const char* location,
                                    const char* key) noexcept;

    static const clap_plugin_audio_ports_t kAudioPorts;
    static const clap_plugin_latency_t kLatency;
    static const clap_plugin_tail_t kTail;
    static const clap_plugin_params_t kParams;
    static const clap_plugin_state_t kState;
    static const clap_plugin_preset_load_t kPresetLoad;

    // The work behind them.
    void findHostExtensions() noexcept;
    void takePosted() noexcept;
    clap_process_status run(const clap_process_t& process) noexcept;
    void processSplitAtEvents(const Channels& channels, std::uint32_t frames,
                              const clap_input_events_t* events) noexcept;
    void applyEvents(const clap_input_events_t* events) noexcept;
    void applyEvent(const clap_event_header_t* event) noexcept;
    void setPlain(crossfeed::Parameter parameter, double plain) noexcept;
    Settings settings() const noexcept;
    void load(const Settings& settings) noexcept;
    void apply(const Settings& settings) noexcept;
    bool loadProgram(std::uint32_t kind, const char* location, const char* key) noexcept;

    clap_plugin_t plugin_;
    const clap_host_t* host_;
    const clap_host_params_t* hostParams_ = nullptr;
    const clap_host_preset_load_t* hostPresetLoad_ = nullptr;
    CrossfeedProcessor processor_;
    std::atomic<double> plain_[crossfeed::kParameterCount] = {};
    std::atomic<std::int32_t> program_{0};
    std::atomic<bool> active_{false};
    SettingsMailbox mailbox_;
};

}  // namespace crossfeed_clap
