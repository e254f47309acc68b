// Turns bytes into a hostile LV2 or LADSPA host: any sequence of
// instantiate, connect (any port number, null or a buffer), control values
// of any bits, activate, run and cleanup on up to four instances of each
// interface, through their descriptors. Besides the sanitizers' checks it
// holds the plug-ins to what a host may rely on: nothing written outside a
// buffer, silence when an audio port is missing, and nothing written on a
// zero-length run.
#include <ladspa.h>
#include <lv2/core/lv2.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);
extern "C" const LADSPA_Descriptor* ladspa_descriptor(unsigned long index);

namespace {

// Controls and samples of any bits.
class Bytes : public FuzzInput {
public:
    using FuzzInput::FuzzInput;
    float anyFloat() { return floatBits(); }
};

constexpr std::uint32_t kFrames = 2048;
constexpr std::uint32_t kPorts = 6;

// One instance with what the host connected to it.
struct Slot {
    bool ladspa = false;
    void* handle = nullptr;
    float* ports[kPorts] = {};
};

struct Buffers {
    // Six audio buffers with a guard after each, and two controls.
    std::vector<float> audio[6];
    float controls[2] = {30.0f, 2.0f};
    Buffers() {
        for (auto& buffer : audio) buffer.assign(kFrames + 16, 0.0f);
    }
};

void destroy(Slot& slot) {
    if (!slot.handle) return;
    if (slot.ladspa) {
        ladspa_descriptor(0)->cleanup(slot.handle);
    } else {
        lv2_descriptor(0)->deactivate(slot.handle);
        lv2_descriptor(0)->cleanup(slot.handle);
    }
    slot = Slot{};
}

void connect(Slot& slot, std::uint32_t port, float* data) {
    if (port < kPorts) slot.ports[port] = data;
    if (slot.ladspa) {
        // A LADSPA host only ever names the plug-in's ports.
        if (port < kPorts) ladspa_descriptor(0)->connect_port(slot.handle, port, data);
    } else {
        lv2_descriptor(0)->connect_port(slot.handle, port, data);
    }
}

void run(Slot& slot, std::uint32_t frames, Buffers& buffers) {
    float* outLeft = slot.ports[2];
    float* outRight = slot.ports[3];
    const float before = outLeft ? outLeft[0] : 0.0f;
    if (slot.ladspa)
        ladspa_descriptor(0)->run(slot.handle, frames);
    else
        lv2_descriptor(0)->run(slot.handle, frames);
    for (auto& buffer : buffers.audio)
        for (std::uint32_t i = kFrames; i < kFrames + 16; ++i) REQUIRE(buffer[i] == 0.0f);
    if (frames == 0 && outLeft) REQUIRE(std::memcmp(&before, outLeft, sizeof before) == 0);
    const bool whole = slot.ports[0] && slot.ports[1] && outLeft && outRight;
    for (float* out : {outLeft, outRight}) {
        if (!out) continue;
        if (!whole)
            for (std::uint32_t i = 0; i < frames; ++i) REQUIRE(out[i] == 0.0f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    Buffers buffers;
    Slot slots[8];
    while (!bytes.done()) {
        const std::uint8_t op = bytes.byte();
        Slot& slot = slots[(op >> 4) & 7];
        switch (op & 0x0F) {
        case 0: {
            destroy(slot);
            slot.ladspa = (op >> 7) != 0;
            if (slot.ladspa)
                slot.handle = ladspa_descriptor(0)->instantiate(ladspa_descriptor(0), bytes.u32());
            else
                slot.handle = lv2_descriptor(0)->instantiate(lv2_descriptor(0), bytes.anyFloat(), "/", nullptr);
            REQUIRE(slot.handle);
            break;
        }
        case 1:
        case 2:
            if (slot.handle) {
                const std::uint32_t port = bytes.byte() % 9;
                const std::uint8_t target = bytes.byte() % 9;
                float* pointer = target < 6 ? buffers.audio[target].data()
                                 : target < 8 ? &buffers.controls[target - 6]
                                              : nullptr;
                // Audio ports get audio buffers, controls get controls.
                if (port < 4 && target >= 6 && target < 8) pointer = nullptr;
                if (port >= 4 && port < 6 && target < 6) pointer = &buffers.controls[port - 4];
                connect(slot, port, pointer);
            }
            break;
        case 3: buffers.controls[bytes.byte() & 1] = bytes.anyFloat(); break;
        case 4: {
            const std::uint8_t which = bytes.byte() % 6;
            const std::uint32_t at = bytes.u32() % kFrames;
            buffers.audio[which][at] = bytes.anyFloat();
            break;
        }
        case 5:
            if (slot.handle) {
                if (slot.ladspa)
                    ladspa_descriptor(0)->activate(slot.handle);
                else
                    lv2_descriptor(0)->activate(slot.handle);
            }
            break;
        case 6:
        case 7:
        case 8:
            if (slot.handle) run(slot, (bytes.byte() | bytes.byte() << 8) % (kFrames + 1), buffers);
            break;
        case 9: destroy(slot); break;
        default: break;
        }
    }
    for (Slot& slot : slots) destroy(slot);
    REQUIRE(lv2_descriptor(1) == nullptr && ladspa_descriptor(1) == nullptr);
    return 0;
}
