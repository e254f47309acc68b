// Turns bytes into a hostile CLAP host: any sequence of create, init,
// activate, processing (any frame count, broken buffers, event lists with
// any times, ids, values, types and sizes), flush, parameter and text
// queries, state saves and loads, preset loads, reset and destroy, on up to
// four instances, through clap_entry. Besides the sanitizers' checks it
// holds the plug-in to what a host may rely on: nothing written past the
// frames asked for, silence where it cannot process, values in range,
// texts terminated inside the buffer, and a refused state changing nothing.
#include <clap/clap.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "crossfeed/descriptor.h"
#include "fuzz_input.h"

namespace {

constexpr std::uint32_t kFrames = 1024;
constexpr std::uint32_t kGuard = 16;
constexpr float kUntouched = 1234.5f;

class Bytes : public FuzzInput {
public:
    using FuzzInput::FuzzInput;
    double anyDouble() {
        const std::uint64_t bits = u32() | static_cast<std::uint64_t>(u32()) << 32;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Mostly in range, sometimes any bits.
    double value() { return byte() < 200 ? (byte() / 255.0) * 110.0 - 5.0 : anyDouble(); }
};

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI nothing(const clap_host_t*) {}
const clap_host_t kHost = {CLAP_VERSION_INIT, nullptr, "fuzz", "", "", "1", noExtension, nothing, nothing, nothing};

const clap_plugin_factory_t& factory() {
    return *static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
}

template <typename Extension>
const Extension* extensionOf(const clap_plugin_t* plugin, const char* id) {
    return static_cast<const Extension*>(plugin->get_extension(plugin, id));
}

struct Slot {
    const clap_plugin_t* plugin = nullptr;
    bool active = false;
};

struct Events {
    std::vector<clap_event_param_value_t> values;
    clap_input_events_t list{};
    void read(Bytes& bytes) {
        values.assign(bytes.byte() % 9, clap_event_param_value_t{});
        for (clap_event_param_value_t& event : values) {
            const std::uint8_t shape = bytes.byte();
            event.header.size = shape & 1 ? 8 : sizeof event;
            event.header.time = shape & 2 ? bytes.u32() : bytes.byte() * 5u;
            event.header.space_id = shape & 4 ? 3 : CLAP_CORE_EVENT_SPACE_ID;
            event.header.type = shape & 8 ? bytes.byte() % 13 : CLAP_EVENT_PARAM_VALUE;
            event.param_id = shape & 16 ? bytes.u32() : bytes.byte() % 3;
            event.value = bytes.value();
        }
        list.ctx = this;
        list.size = [](const clap_input_events_t* list) {
            return static_cast<std::uint32_t>(static_cast<Events*>(list->ctx)->values.size());
        };
        list.get = [](const clap_input_events_t* list, std::uint32_t index) -> const clap_event_header_t* {
            auto& values = static_cast<Events*>(list->ctx)->values;
            return index < values.size() ? &values[index].header : nullptr;
        };
    }
};

void checkValues(const clap_plugin_t* plugin) {
    const auto* params = extensionOf<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS);
    for (clap_id id = 0; id < 2; ++id) {
        double value = -1.0;
        REQUIRE(params->get_value(plugin, id, &value));
        REQUIRE(value >= 0.0 && value <= crossfeed::kParameters[id].maximum);
    }
}

void process(Slot& slot, Bytes& bytes, std::vector<float> (&audio)[4]) {
    const std::uint8_t shape = bytes.byte();
    const std::uint32_t frames = (bytes.byte() | bytes.byte() << 8) % (kFrames + 1);
    for (auto& channel : audio) std::fill(channel.begin() + frames, channel.end(), kUntouched);
    float* in[2] = {audio[0].data(), shape & 1 ? nullptr : audio[1].data()};
    float* out[2] = {shape & 2 ? audio[0].data() : audio[2].data(), shape & 2 ? audio[1].data() : audio[3].data()};
    clap_audio_buffer_t input{in, nullptr, shape & 4 ? 1u : 2u, 0, 0};
    clap_audio_buffer_t output{out, nullptr, 2, 0, 0};
    Events events;
    events.read(bytes);
    const clap_process_t call{-1,      frames, nullptr, shape & 8 ? nullptr : &input, &output, shape & 8 ? 0u : 1u,
                              1,       shape & 16 ? nullptr : &events.list,           nullptr};
    const clap_process_status status = slot.plugin->process(slot.plugin, &call);
    for (auto& channel : audio)
        for (std::uint32_t i = frames; i < kFrames + kGuard; ++i) REQUIRE(channel[i] == kUntouched);
    const bool whole = slot.active && !(shape & (1 | 4 | 8));
    REQUIRE((status == CLAP_PROCESS_CONTINUE) == whole);
    if (!whole)
        for (std::uint32_t i = 0; i < frames; ++i) REQUIRE(out[0][i] == 0.0f && out[1][i] == 0.0f);
    for (auto& channel : audio) std::fill(channel.begin(), channel.begin() + frames, 0.25f);
}

void texts(const clap_plugin_t* plugin, Bytes& bytes) {
    const auto* params = extensionOf<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS);
    const clap_id id = bytes.byte() % 3;
    char text[40];
    std::memset(text, 'x', sizeof text);
    const std::uint32_t capacity = bytes.byte() % 32;
    if (params->value_to_text(plugin, id, bytes.value(), text, capacity)) REQUIRE(std::memchr(text, 0, capacity));
    for (std::uint32_t i = capacity; i < sizeof text; ++i) REQUIRE(text[i] == 'x');
    char typed[24];
    for (char& c : typed) c = static_cast<char>(bytes.byte() % 4 ? " 0123456789.%ms"[bytes.byte() % 15] : bytes.byte());
    typed[sizeof typed - 1] = '\0';
    double value = -1.0;
    if (params->text_to_value(plugin, id, typed, &value)) REQUIRE(value >= 0.0 && value <= crossfeed::kParameters[id].maximum);
}

std::vector<std::uint8_t> save(const clap_plugin_t* plugin) {
    std::vector<std::uint8_t> bytes;
    const clap_ostream_t stream{&bytes, [](const clap_ostream_t* stream, const void* data, std::uint64_t size) {
                                    auto* into = static_cast<std::vector<std::uint8_t>*>(stream->ctx);
                                    into->insert(into->end(), static_cast<const std::uint8_t*>(data),
                                                 static_cast<const std::uint8_t*>(data) + size);
                                    return static_cast<std::int64_t>(size);
                                }};
    REQUIRE(extensionOf<clap_plugin_state_t>(plugin, CLAP_EXT_STATE)->save(plugin, &stream));
    return bytes;
}

struct Reading {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
};

void state(const clap_plugin_t* plugin, Bytes& bytes) {
    const std::vector<std::uint8_t> before = save(plugin);
    Reading reading{before};
    for (std::uint8_t edits = bytes.byte() % 4; edits > 0; --edits)
        if (!reading.bytes.empty()) reading.bytes[bytes.byte() % reading.bytes.size()] = bytes.byte();
    reading.bytes.resize(reading.bytes.size() - bytes.byte() % 2);
    const clap_istream_t stream{&reading, [](const clap_istream_t* stream, void* data, std::uint64_t size) {
                                    auto* from = static_cast<Reading*>(stream->ctx);
                                    const std::size_t count =
                                        std::min<std::size_t>(size, from->bytes.size() - from->at);
                                    if (count) std::memcpy(data, from->bytes.data() + from->at, count);
                                    from->at += count;
                                    return static_cast<std::int64_t>(count);
                                }};
    if (!extensionOf<clap_plugin_state_t>(plugin, CLAP_EXT_STATE)->load(plugin, &stream))
        REQUIRE(save(plugin) == before);
}

void call(Slot& slot, std::uint8_t op, Bytes& bytes, std::vector<float> (&audio)[4]) {
    const clap_plugin_t* plugin = slot.plugin;
    switch (op) {
    case 1: REQUIRE(plugin->init(plugin)); break;
    case 2: {
        const bool activated = plugin->activate(plugin, bytes.anyDouble(), bytes.u32(), bytes.u32());
        REQUIRE(activated != slot.active);
        slot.active = true;
        break;
    }
    case 3:
        plugin->deactivate(plugin);
        slot.active = false;
        break;
    case 4: REQUIRE(plugin->start_processing(plugin) == slot.active); break;
    case 5: plugin->stop_processing(plugin); break;
    case 6: plugin->reset(plugin); break;
    case 7:
    case 8: process(slot, bytes, audio); break;
    case 9: texts(plugin, bytes); break;
    case 10: {
        Events events;
        events.read(bytes);
        extensionOf<clap_plugin_params_t>(plugin, CLAP_EXT_PARAMS)->flush(plugin, &events.list, nullptr);
        break;
    }
    case 11: state(plugin, bytes); break;
    case 12: {
        const char key[2] = {static_cast<char>('0' + bytes.byte() % 6), '\0'};
        extensionOf<clap_plugin_preset_load_t>(plugin, CLAP_EXT_PRESET_LOAD)
            ->from_location(plugin, bytes.byte() % 3, nullptr, bytes.byte() % 8 ? key : nullptr);
        break;
    }
    case 13:
        REQUIRE(extensionOf<clap_plugin_tail_t>(plugin, CLAP_EXT_TAIL)->get(plugin) < 512);
        REQUIRE(extensionOf<clap_plugin_latency_t>(plugin, CLAP_EXT_LATENCY)->get(plugin) == 0);
        break;
    default: break;
    }
    checkValues(plugin);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    REQUIRE(clap_entry.init("/fuzz"));
    std::vector<float> audio[4];
    for (auto& channel : audio) channel.assign(kFrames + kGuard, 0.25f);
    Slot slots[4];
    while (!bytes.done()) {
        const std::uint8_t op = bytes.byte();
        Slot& slot = slots[(op >> 4) & 3];
        if ((op & 0x0F) == 0 || (op & 0x0F) == 14) {
            if (slot.plugin) slot.plugin->destroy(slot.plugin);
            slot = Slot{};
            if ((op & 0x0F) == 0) slot.plugin = factory().create_plugin(&factory(), &kHost, crossfeed::kClapId);
            REQUIRE(slot.plugin || (op & 0x0F) == 14);
        } else if (slot.plugin) {
            call(slot, op & 0x0F, bytes, audio);
        }
    }
    for (Slot& slot : slots)
        if (slot.plugin) slot.plugin->destroy(slot.plugin);
    clap_entry.deinit();
    return 0;
}
