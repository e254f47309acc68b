// Feeds any bytes to the CLAP plug-in as a saved state, read from a host
// stream that gives them a few at a time, to an instance that is active or
// not. A state taken must be a whole one of the documented format whose
// values read back as loaded; a refused one must change nothing.
//   first byte: bit 0 active, the rest the bytes per read (1 to 128)
#include <clap/clap.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "crossfeed/descriptor.h"
#include "fuzz_input.h"

namespace {

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI nothing(const clap_host_t*) {}
const clap_host_t kHost = {CLAP_VERSION_INIT, nullptr, "fuzz", "", "", "1", noExtension, nothing, nothing, nothing};

struct Reading {
    const std::uint8_t* bytes;
    std::size_t size, at, chunk;
};

const clap_plugin_state_t& stateOf(const clap_plugin_t* plugin) {
    return *static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
}

std::vector<std::uint8_t> save(const clap_plugin_t* plugin) {
    std::vector<std::uint8_t> bytes;
    const clap_ostream_t stream{&bytes, [](const clap_ostream_t* stream, const void* data, std::uint64_t size) {
                                    auto* into = static_cast<std::vector<std::uint8_t>*>(stream->ctx);
                                    into->insert(into->end(), static_cast<const std::uint8_t*>(data),
                                                 static_cast<const std::uint8_t*>(data) + size);
                                    return static_cast<std::int64_t>(size);
                                }};
    REQUIRE(stateOf(plugin).save(plugin, &stream));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    REQUIRE(clap_entry.init("/fuzz"));
    const auto* factory = static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_t* plugin = factory->create_plugin(factory, &kHost, crossfeed::kClapId);
    REQUIRE(plugin && plugin->init(plugin));
    if (data[0] & 1) REQUIRE(plugin->activate(plugin, 48000.0, 1, 512));
    const std::vector<std::uint8_t> before = save(plugin);

    Reading reading{data + 1, size - 1, 0, static_cast<std::size_t>(data[0] >> 1) + 1};
    const clap_istream_t stream{&reading, [](const clap_istream_t* stream, void* into, std::uint64_t wanted) {
                                    auto* from = static_cast<Reading*>(stream->ctx);
                                    std::size_t count = from->size - from->at;
                                    if (count > from->chunk) count = from->chunk;
                                    if (count > wanted) count = static_cast<std::size_t>(wanted);
                                    std::memcpy(into, from->bytes + from->at, count);
                                    from->at += count;
                                    return static_cast<std::int64_t>(count);
                                }};
    if (stateOf(plugin).load(plugin, &stream)) {
        REQUIRE(reading.size == 28 && std::memcmp(reading.bytes, "XFst\x01\0\0\0", 8) == 0);
        // Each value as given (a negative zero as zero), unless it lay in
        // the hair above the delay's range that is held to its end; the
        // program as given.
        const auto* params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        for (clap_id id = 0; id < 2; ++id) {
            const double maximum = crossfeed::kParameters[id].maximum;
            double given, value = -1.0;
            std::memcpy(&given, reading.bytes + 8 + 8 * id, sizeof given);
            REQUIRE(params->get_value(plugin, id, &value) && value >= 0.0 && value <= maximum);
            REQUIRE(value == given || (given > maximum && value == maximum));
        }
        REQUIRE(std::memcmp(&save(plugin)[24], reading.bytes + 24, 4) == 0);
    } else {
        REQUIRE(save(plugin) == before);
    }
    if (data[0] & 1) plugin->deactivate(plugin);
    plugin->destroy(plugin);
    clap_entry.deinit();
    return 0;
}
