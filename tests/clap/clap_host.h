// A small CLAP host for the tests and the benchmark: loads a .clap file as
// hosts do (by its exported clap_entry), makes instances, and hands them
// audio, parameter events and state streams.
#pragma once

#include <clap/clap.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The loaded file: init on load, deinit and unload when it goes.
class ClapLibrary {
public:
    // Null, with the reason, when the file cannot be loaded or initialised.
    static std::unique_ptr<ClapLibrary> load(const std::string& path, std::string& error);
    ~ClapLibrary();
    ClapLibrary(const ClapLibrary&) = delete;
    ClapLibrary& operator=(const ClapLibrary&) = delete;

    const clap_plugin_entry_t& entry() const { return *entry_; }
    const clap_plugin_factory_t* pluginFactory() const;
    const clap_preset_discovery_factory_t* presetFactory() const;

private:
    ClapLibrary(void* handle, const clap_plugin_entry_t* entry) : handle_(handle), entry_(entry) {}
    void* handle_;
    const clap_plugin_entry_t* entry_;
};

// What the plug-in told the host.
struct HostLog {
    int rescans = 0;
    int flushRequests = 0;
    std::vector<std::string> loadedKeys;
    int loadErrors = 0;
};

// The host record an instance gets. With `extensions` off it offers none.
class TestHost {
public:
    explicit TestHost(bool extensions = true);
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;
    const clap_host_t* record() const { return &host_; }
    HostLog log;

private:
    clap_host_t host_;
    bool extensions_;
    static const void* extension(const clap_host_t* host, const char* id);
};

// Parameter values to deliver in one block, in the order given.
class EventList {
public:
    void add(std::uint32_t time, clap_id parameter, double value, std::uint16_t type = CLAP_EVENT_PARAM_VALUE);
    void clear() { events_.clear(); }
    const clap_input_events_t* list();
    std::vector<clap_event_param_value_t>& events() { return events_; }

private:
    std::vector<clap_event_param_value_t> events_;
    clap_input_events_t list_{};
};

class ClapInstance {
public:
    ClapInstance(const ClapLibrary& library, TestHost& host, const char* id = nullptr);
    ~ClapInstance();
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    const clap_plugin_t* plugin() const { return plugin_; }
    explicit operator bool() const { return plugin_ != nullptr; }
    template <typename Extension>
    const Extension* extension(const char* id) const {
        return static_cast<const Extension*>(plugin_->get_extension(plugin_, id));
    }
    const clap_plugin_params_t& params() const { return *extension<clap_plugin_params_t>(CLAP_EXT_PARAMS); }

    bool activate(double rate = 48000.0);
    void deactivate();
    // Processes `frames` frames of the channels from `offset` on; the
    // outputs may be the inputs.
    clap_process_status process(float* const in[2], float* const out[2], std::uint32_t offset, std::uint32_t frames,
                                const clap_input_events_t* events);
    bool loadPreset(const char* key, std::uint32_t kind = 1);
    double value(clap_id parameter) const;
    // Null events list for flush when `events` is empty.
    void flush(EventList& events);

    std::vector<std::uint8_t> saveState() const;
    // Delivered `chunk` bytes per read at most.
    bool loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk = 1 << 20);

private:
    const clap_plugin_t* plugin_ = nullptr;
    bool active_ = false;
};
