#include "adapter/crossfeed_ports.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <new>

#include "crossfeed/parameter_units.h"

namespace crossfeed_ports {

const PortInfo kPorts[kPortCount] = {
    {"in_left", "Left input", PortKind::kAudioInput},
    {"in_right", "Right input", PortKind::kAudioInput},
    {"out_left", "Left output", PortKind::kAudioOutput},
    {"out_right", "Right output", PortKind::kAudioOutput},
    {"level", "Level", PortKind::kControlInput},
    {"delay", "Delay", PortKind::kControlInput},
};

namespace {

// NaN goes to the lower bound.
double clampControl(float value, double maximum) noexcept {
    const double v = value;
    if (!(v > 0.0)) return 0.0;
    return v < maximum ? v : maximum;
}

// The effect takes frame counts as int32.
constexpr std::uint64_t kLongestCall = std::numeric_limits<std::int32_t>::max();

}  // namespace

double levelMaximum() noexcept { return crossfeed_units::kLevelPercentMax; }
double delayMaximum() noexcept { return crossfeed_units::kDelayMillisecondsMax; }

float levelParameter(float percent) noexcept {
    return crossfeed_units::levelFromPercent(clampControl(percent, levelMaximum()));
}

float delayParameter(float milliseconds) noexcept {
    return crossfeed_units::delayFromMilliseconds(clampControl(milliseconds, delayMaximum()));
}

float storedSampleRate(double rate) noexcept {
    if (rate > FLT_MAX) return std::numeric_limits<float>::infinity();
    if (rate < -FLT_MAX) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(rate);
}

PortedCrossfeed* PortedCrossfeed::create(double sampleRate) noexcept {
    auto* ported = new (std::nothrow) PortedCrossfeed;
    if (ported && !ported->effect_.ready()) {
        delete ported;
        return nullptr;
    }
    if (ported) ported->effect_.setSampleRate(storedSampleRate(sampleRate));
    return ported;
}

void PortedCrossfeed::connect(std::uint32_t port, float* data) noexcept {
    if (port < kPortCount) ports_[port] = data;
}

void PortedCrossfeed::activate() noexcept { effect_.suspend(); }

// An unconnected control keeps the value last applied, at first the first
// program's.
void PortedCrossfeed::applyControls() noexcept {
    if (const float* level = ports_[kLevel]) effect_.setParameter(CrossfeedEffect::kCrossLevel, levelParameter(*level));
    if (const float* delay = ports_[kDelay])
        effect_.setParameter(CrossfeedEffect::kDelayAmount, delayParameter(*delay));
}

void PortedCrossfeed::silenceOutputs(std::uint64_t frames) noexcept {
    for (std::uint32_t port : {kOutLeft, kOutRight})
        if (float* out = ports_[port]) std::fill(out, out + frames, 0.0f);
}

void PortedCrossfeed::run(std::uint64_t frames) noexcept {
    applyControls();
    if (!ports_[kInLeft] || !ports_[kInRight] || !ports_[kOutLeft] || !ports_[kOutRight]) {
        silenceOutputs(frames);
        return;
    }
    for (std::uint64_t done = 0; done < frames;) {
        const std::uint64_t chunk = std::min(frames - done, kLongestCall);
        float* inputs[2] = {ports_[kInLeft] + done, ports_[kInRight] + done};
        float* outputs[2] = {ports_[kOutLeft] + done, ports_[kOutRight] + done};
        effect_.processReplacing(inputs, outputs, static_cast<std::int32_t>(chunk));
        done += chunk;
    }
}

}  // namespace crossfeed_ports
