#include "clap/clap_host.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

void* openFile(const std::string& path, std::string& error) {
#if defined(_WIN32)
    void* handle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!handle) error = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
#else
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) error = dlerror();
#endif
    return handle;
}

void* symbolOf(void* handle, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void closeFile(void* handle) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

}  // namespace

std::unique_ptr<ClapLibrary> ClapLibrary::load(const std::string& path, std::string& error) {
    void* handle = openFile(path, error);
    if (!handle) return nullptr;
    const auto* entry = static_cast<const clap_plugin_entry_t*>(symbolOf(handle, "clap_entry"));
    if (!entry || !entry->init(path.c_str())) {
        error = entry ? "clap_entry.init failed" : "no clap_entry";
        closeFile(handle);
        return nullptr;
    }
    return std::unique_ptr<ClapLibrary>(new ClapLibrary(handle, entry));
}

ClapLibrary::~ClapLibrary() {
    entry_->deinit();
    closeFile(handle_);
}

const clap_plugin_factory_t* ClapLibrary::pluginFactory() const {
    return static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
}

const clap_preset_discovery_factory_t* ClapLibrary::presetFactory() const {
    return static_cast<const clap_preset_discovery_factory_t*>(entry_->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
}

// ---- the host record ----

namespace {

HostLog& logOf(const clap_host_t* host) { return static_cast<TestHost*>(host->host_data)->log; }

const clap_host_params_t kHostParams = {
    [](const clap_host_t* host, clap_param_rescan_flags) { ++logOf(host).rescans; },
    [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
    [](const clap_host_t* host) { ++logOf(host).flushRequests; },
};

const clap_host_preset_load_t kHostPresetLoad = {
    [](const clap_host_t* host, std::uint32_t, const char*, const char*, std::int32_t, const char*) {
        ++logOf(host).loadErrors;
    },
    [](const clap_host_t* host, std::uint32_t, const char*, const char* key) {
        logOf(host).loadedKeys.push_back(key ? key : "");
    },
};

}  // namespace

TestHost::TestHost(bool extensions) : extensions_(extensions) {
    host_ = {CLAP_VERSION_INIT, this, "crossfeed tests", "", "", "1.0", extension,
             [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
}

const void* TestHost::extension(const clap_host_t* host, const char* id) {
    if (!static_cast<TestHost*>(host->host_data)->extensions_) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kHostParams;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &kHostPresetLoad;
    return nullptr;
}

// ---- events ----

void EventList::add(std::uint32_t time, clap_id parameter, double value, std::uint16_t type) {
    clap_event_param_value_t event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    event.param_id = parameter;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = value;
    events_.push_back(event);
}

const clap_input_events_t* EventList::list() {
    list_.ctx = this;
    list_.size = [](const clap_input_events_t* list) {
        return static_cast<std::uint32_t>(static_cast<EventList*>(list->ctx)->events_.size());
    };
    list_.get = [](const clap_input_events_t* list, std::uint32_t index) -> const clap_event_header_t* {
        auto& events = static_cast<EventList*>(list->ctx)->events_;
        return index < events.size() ? &events[index].header : nullptr;
    };
    return &list_;
}

// ---- instances ----

ClapInstance::ClapInstance(const ClapLibrary& library, TestHost& host, const char* id) {
    const clap_plugin_factory_t* factory = library.pluginFactory();
    const clap_plugin_descriptor_t* descriptor = factory ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    if (!descriptor) return;
    plugin_ = factory->create_plugin(factory, host.record(), id ? id : descriptor->id);
    if (plugin_ && !plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
}

ClapInstance::~ClapInstance() {
    if (!plugin_) return;
    deactivate();
    plugin_->destroy(plugin_);
}

bool ClapInstance::activate(double rate) {
    active_ = plugin_->activate(plugin_, rate, 1, 8192) && plugin_->start_processing(plugin_);
    return active_;
}

void ClapInstance::deactivate() {
    if (!active_) return;
    plugin_->stop_processing(plugin_);
    plugin_->deactivate(plugin_);
    active_ = false;
}

clap_process_status ClapInstance::process(float* const in[2], float* const out[2], std::uint32_t offset,
                                          std::uint32_t frames, const clap_input_events_t* events) {
    float* inputs[2] = {in[0] + offset, in[1] + offset};
    float* outputs[2] = {out[0] + offset, out[1] + offset};
    clap_audio_buffer_t input{inputs, nullptr, 2, 0, 0};
    clap_audio_buffer_t output{outputs, nullptr, 2, 0, 0};
    static const clap_output_events_t kNoOutput = {nullptr, [](const clap_output_events_t*,
                                                               const clap_event_header_t*) { return true; }};
    const clap_process_t process{-1, frames, nullptr, &input, &output, 1, 1, events, &kNoOutput};
    return plugin_->process(plugin_, &process);
}

bool ClapInstance::loadPreset(const char* key, std::uint32_t kind) {
    const auto* presets = extension<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
    return presets && presets->from_location(plugin_, kind, nullptr, key);
}

double ClapInstance::value(clap_id parameter) const {
    double value = -1.0;
    return params().get_value(plugin_, parameter, &value) ? value : -1.0;
}

void ClapInstance::flush(EventList& events) {
    params().flush(plugin_, events.events().empty() ? nullptr : events.list(), nullptr);
}

// ---- state streams ----

namespace {

struct Reading {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
    std::size_t chunk;
};

}  // namespace

std::vector<std::uint8_t> ClapInstance::saveState() const {
    std::vector<std::uint8_t> bytes;
    const clap_ostream_t stream{&bytes, [](const clap_ostream_t* stream, const void* data, std::uint64_t size) {
                                    auto* into = static_cast<std::vector<std::uint8_t>*>(stream->ctx);
                                    const auto* from = static_cast<const std::uint8_t*>(data);
                                    into->insert(into->end(), from, from + size);
                                    return static_cast<std::int64_t>(size);
                                }};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state || !state->save(plugin_, &stream)) bytes.clear();
    return bytes;
}

bool ClapInstance::loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk) {
    Reading reading{&bytes, 0, chunk};
    const clap_istream_t stream{&reading, [](const clap_istream_t* stream, void* data, std::uint64_t size) {
                                    auto* from = static_cast<Reading*>(stream->ctx);
                                    const std::size_t left = from->bytes->size() - from->at;
                                    const std::size_t count =
                                        std::min({left, from->chunk, static_cast<std::size_t>(size)});
                                    if (count) std::memcpy(data, from->bytes->data() + from->at, count);
                                    from->at += count;
                                    return static_cast<std::int64_t>(count);
                                }};
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    return state && state->load(plugin_, &stream);
}
