// The instance's life and its processing: parameter events split each block
// at their frames, so a change lands on the very sample it names.
#include "clap/instance.h"

#include <algorithm>
#include <new>

#include "clap/parameters.h"
#include "clap/presets.h"
#include "host/float_environment.h"

namespace crossfeed_clap {

namespace {

bool stereo(const clap_audio_buffer_t* buffers, std::uint32_t count) noexcept {
    return buffers && count >= 1 && buffers[0].channel_count >= 2 && buffers[0].data32 && buffers[0].data32[0] &&
           buffers[0].data32[1];
}

Channels channelsOf(const clap_process_t& process) noexcept {
    Channels channels;
    if (stereo(process.audio_inputs, process.audio_inputs_count)) {
        channels.in[0] = process.audio_inputs[0].data32[0];
        channels.in[1] = process.audio_inputs[0].data32[1];
    }
    if (stereo(process.audio_outputs, process.audio_outputs_count)) {
        channels.out[0] = process.audio_outputs[0].data32[0];
        channels.out[1] = process.audio_outputs[0].data32[1];
        process.audio_outputs[0].constant_mask = 0;
    }
    return channels;
}

void silence(const Channels& channels, std::uint32_t frames) noexcept {
    if (!channels.out[0]) return;
    std::fill(channels.out[0], channels.out[0] + frames, 0.0f);
    std::fill(channels.out[1], channels.out[1] + frames, 0.0f);
}

std::uint32_t eventCount(const clap_input_events_t* events) noexcept {
    return events && events->size && events->get ? events->size(events) : 0;
}

}  // namespace

Instance::Instance(const clap_host_t* host) noexcept
    : plugin_{&kPluginDescriptor, this,           init,    destroy,   activate, deactivate,
              startProcessing,    stopProcessing, reset,   process,   extension, onMainThread},
      host_(host) {
    // A new instance starts on the first program.
    apply(settingsOfProgram(0));
}

const clap_plugin_t* Instance::create(const clap_host_t* host) noexcept {
    if (!host || !clap_version_is_compatible(host->clap_version)) return nullptr;
    const ModuleFloatEnvironment environment;
    auto* instance = new (std::nothrow) Instance(host);
    if (instance && !instance->processor_.ready()) {
        delete instance;
        return nullptr;
    }
    return instance ? &instance->plugin_ : nullptr;
}

Instance* Instance::of(const clap_plugin_t* plugin) noexcept {
    return plugin ? static_cast<Instance*>(plugin->plugin_data) : nullptr;
}

bool Instance::init(const clap_plugin_t* plugin) noexcept {
    Instance* self = of(plugin);
    if (!self) return false;
    self->findHostExtensions();
    return true;
}

// Hosts may offer none of them, or records with empty entries.
void Instance::findHostExtensions() noexcept {
    if (!host_->get_extension) return;
    hostParams_ = static_cast<const clap_host_params_t*>(host_->get_extension(host_, CLAP_EXT_PARAMS));
    hostPresetLoad_ = static_cast<const clap_host_preset_load_t*>(host_->get_extension(host_, CLAP_EXT_PRESET_LOAD));
    if (!hostPresetLoad_)
        hostPresetLoad_ =
            static_cast<const clap_host_preset_load_t*>(host_->get_extension(host_, CLAP_EXT_PRESET_LOAD_COMPAT));
}

void Instance::destroy(const clap_plugin_t* plugin) noexcept {
    const ModuleFloatEnvironment environment;
    delete of(plugin);
}

// Any rate: the delay is a number of samples.
bool Instance::activate(const clap_plugin_t* plugin, double, std::uint32_t, std::uint32_t) noexcept {
    Instance* self = of(plugin);
    if (!self || self->active_.load(std::memory_order_relaxed)) return false;
    const ModuleFloatEnvironment environment;
    self->takePosted();
    self->processor_.reset();
    self->active_.store(true, std::memory_order_release);
    return true;
}

void Instance::deactivate(const clap_plugin_t* plugin) noexcept {
    Instance* self = of(plugin);
    if (!self || !self->active_.load(std::memory_order_relaxed)) return;
    self->active_.store(false, std::memory_order_release);
    const ModuleFloatEnvironment environment;
    self->takePosted();
}

bool Instance::startProcessing(const clap_plugin_t* plugin) noexcept {
    const Instance* self = of(plugin);
    return self && self->active_.load(std::memory_order_acquire);
}

void Instance::stopProcessing(const clap_plugin_t*) noexcept {}

void Instance::reset(const clap_plugin_t* plugin) noexcept {
    if (Instance* self = of(plugin)) {
        const ModuleFloatEnvironment environment;
        self->processor_.reset();
    }
}

void Instance::onMainThread(const clap_plugin_t*) noexcept {}

clap_process_status Instance::process(const clap_plugin_t* plugin, const clap_process_t* process) noexcept {
    Instance* self = of(plugin);
    if (!self || !process) return CLAP_PROCESS_ERROR;
    const ModuleFloatEnvironment environment;
    return self->run(*process);
}

// Whatever the host gets wrong, the outputs it gave are written: with the
// crossfeed, or with silence.
clap_process_status Instance::run(const clap_process_t& process) noexcept {
    const Channels channels = channelsOf(process);
    if (!active_.load(std::memory_order_acquire)) {
        silence(channels, process.frames_count);
        return CLAP_PROCESS_ERROR;
    }
    takePosted();
    if (!channels.in[0] || !channels.out[0]) {
        silence(channels, process.frames_count);
        applyEvents(process.in_events);
        return CLAP_PROCESS_ERROR;
    }
    processSplitAtEvents(channels, process.frames_count, process.in_events);
    return CLAP_PROCESS_CONTINUE;
}

// Each stretch between parameter events with the values of its start. A
// late event takes effect at once; one past the block at its end.
void Instance::processSplitAtEvents(const Channels& channels, std::uint32_t frames,
                                    const clap_input_events_t* events) noexcept {
    const std::uint32_t count = eventCount(events);
    std::uint32_t done = 0;
    for (std::uint32_t index = 0; index <= count; ++index) {
        const clap_event_header_t* event = index < count ? events->get(events, index) : nullptr;
        if (index < count && !event) continue;
        const std::uint32_t at = event ? std::min(std::max(event->time, done), frames) : frames;
        if (at > done) {
            processor_.process(channels.in[0] + done, channels.in[1] + done, channels.out[0] + done,
                               channels.out[1] + done, at - done, CrossfeedProcessor::Output::replace);
            done = at;
        }
        if (event) applyEvent(event);
    }
}

void Instance::applyEvents(const clap_input_events_t* events) noexcept {
    const std::uint32_t count = eventCount(events);
    for (std::uint32_t index = 0; index < count; ++index) applyEvent(events->get(events, index));
}

// Only parameter values: the parameters are neither modulated nor per note.
void Instance::applyEvent(const clap_event_header_t* event) noexcept {
    if (!event || event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE ||
        event->size < sizeof(clap_event_param_value_t))
        return;
    const auto* change = reinterpret_cast<const clap_event_param_value_t*>(event);
    crossfeed::Parameter parameter;
    if (parameterOfId(change->param_id, parameter)) setPlain(parameter, change->value);
}

void Instance::setPlain(crossfeed::Parameter parameter, double plain) noexcept {
    const double held = heldPlain(parameter, plain);
    plain_[parameter].store(held, std::memory_order_relaxed);
    const float value = crossfeed::parameterFromPlain(parameter, held);
    if (parameter == crossfeed::kLevelParameter)
        processor_.setCrossLevel(value);
    else
        processor_.setNormalisedDelay(value);
}

Settings Instance::settings() const noexcept {
    Settings now;
    for (int i = 0; i < crossfeed::kParameterCount; ++i) now.plain[i] = plain_[i].load(std::memory_order_relaxed);
    now.program = program_.load(std::memory_order_relaxed);
    return now;
}

// To the processor now; or, while the audio thread owns it, at its next block.
void Instance::load(const Settings& settings) noexcept {
    if (active_.load(std::memory_order_acquire)) {
        Settings held = settings;
        for (int i = 0; i < crossfeed::kParameterCount; ++i) {
            held.plain[i] = heldPlain(static_cast<crossfeed::Parameter>(i), settings.plain[i]);
            plain_[i].store(held.plain[i], std::memory_order_relaxed);
        }
        mailbox_.post(held);
        program_.store(settings.program, std::memory_order_relaxed);
        if (hostParams_ && hostParams_->request_flush) hostParams_->request_flush(host_);
    } else {
        apply(settings);
    }
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
}

void Instance::apply(const Settings& settings) noexcept {
    for (int i = 0; i < crossfeed::kParameterCount; ++i)
        setPlain(static_cast<crossfeed::Parameter>(i), settings.plain[i]);
    program_.store(settings.program, std::memory_order_relaxed);
}

void Instance::takePosted() noexcept {
    Settings posted;
    if (mailbox_.take(posted)) apply(posted);
}

}  // namespace crossfeed_clap
