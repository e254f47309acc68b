// The effect behind a port-based plug-in interface (LV2, LADSPA): two audio
// inputs, two audio outputs and two controls in the units the module
// displays. Each interface's entry points only forward to this.
#pragma once

#include <cstdint>

#include "crossfeed/crossfeed_effect.h"

namespace crossfeed_ports {

enum Port : std::uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kLevel, kDelay, kPortCount };

enum class PortKind { kAudioInput, kAudioOutput, kControlInput };

struct PortInfo {
    const char* symbol;
    const char* name;
    PortKind kind;
};

// In port order.
extern const PortInfo kPorts[kPortCount];

// The controls' ranges, in percent and displayed milliseconds.
double levelMaximum() noexcept;
double delayMaximum() noexcept;

// A control value as the parameter it sets. NaN and values outside the
// range land on the nearest bound, NaN on the lower one, so a host cannot
// push the effect where its controls do not reach.
float levelParameter(float percent) noexcept;
float delayParameter(float milliseconds) noexcept;

// A host's sample rate as the effect stores it: any double, NaN included,
// without an out-of-range conversion.
float storedSampleRate(double rate) noexcept;

class PortedCrossfeed {
public:
    // Null when the effect cannot be made whole.
    static PortedCrossfeed* create(double sampleRate) noexcept;

    void connect(std::uint32_t port, float* data) noexcept;
    // Starts from silent rings.
    void activate() noexcept;
    void run(std::uint64_t frames) noexcept;

    CrossfeedEffect& effect() noexcept { return effect_; }

private:
    PortedCrossfeed() noexcept : effect_(nullptr) {}
    void applyControls() noexcept;
    void silenceOutputs(std::uint64_t frames) noexcept;

    CrossfeedEffect effect_;
    float* ports_[kPortCount] = {};
};

}  // namespace crossfeed_ports
