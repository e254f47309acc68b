// The processor behind a port-based plug-in interface (LV2, LADSPA): two
// audio inputs, two audio outputs and two controls in the units the
// descriptor gives. Each interface's entry points only forward to this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crossfeed/crossfeed_processor.h"
#include "crossfeed/descriptor.h"

namespace crossfeed_ports {

enum Port : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kLevel, kDelay, kPortCount };

enum class PortKind { kAudioInput, kAudioOutput, kControlInput };

struct PortInfo {
    const char* symbol;
    const char* name;          // LV2 shows the unit beside it
    const char* nameWithUnit;  // LADSPA has only the name
    PortKind kind;
};

// In port order.
constexpr PortInfo kPorts[kPortCount] = {
    {"in_left", "Left input", "Left input", PortKind::kAudioInput},
    {"in_right", "Right input", "Right input", PortKind::kAudioInput},
    {"out_left", "Left output", "Left output", PortKind::kAudioOutput},
    {"out_right", "Right output", "Right output", PortKind::kAudioOutput},
    {crossfeed::kParameters[crossfeed::kLevelParameter].symbol, crossfeed::kParameters[crossfeed::kLevelParameter].name,
     crossfeed::kParameters[crossfeed::kLevelParameter].nameWithUnit, PortKind::kControlInput},
    {crossfeed::kParameters[crossfeed::kDelayParameter].symbol, crossfeed::kParameters[crossfeed::kDelayParameter].name,
     crossfeed::kParameters[crossfeed::kDelayParameter].nameWithUnit, PortKind::kControlInput},
};

// The parameter a control port sets.
constexpr crossfeed::Parameter parameterOf(Port control) {
    return control == kDelay ? crossfeed::kDelayParameter : crossfeed::kLevelParameter;
}

// One plug-in instance: what the host connected, and the processor.
class PortInstance {
public:
    // Null when the processor cannot be made whole.
    static PortInstance* create() noexcept;

    void connect(std::uint32_t port, float* data) noexcept;
    // Starts from silent rings.
    void activate() noexcept;
    void run(std::size_t frames) noexcept;

private:
    PortInstance() noexcept;
    void applyControls() noexcept;
    void silenceOutputs(std::size_t frames) noexcept;

    CrossfeedProcessor processor_;
    float* ports_[kPortCount] = {};
};

}  // namespace crossfeed_ports
