#include "adapter/port_instance.h"

#include <algorithm>
#include <new>

namespace crossfeed_ports {

PortInstance::PortInstance() noexcept {
    processor_.setCrossLevel(crossfeed::defaultValue(crossfeed::kLevelParameter));
    processor_.setNormalisedDelay(crossfeed::defaultValue(crossfeed::kDelayParameter));
}

PortInstance* PortInstance::create() noexcept {
    auto* instance = new (std::nothrow) PortInstance;
    if (instance && !instance->processor_.ready()) {
        delete instance;
        return nullptr;
    }
    return instance;
}

void PortInstance::connect(std::uint32_t port, float* data) noexcept {
    if (port < kPortCount) ports_[port] = data;
}

void PortInstance::activate() noexcept { processor_.reset(); }

// An unconnected control keeps the value last applied, at first the first
// program's.
void PortInstance::applyControls() noexcept {
    if (const float* level = ports_[kLevel])
        processor_.setCrossLevel(crossfeed::parameterFromControl(parameterOf(kLevel), *level));
    if (const float* delay = ports_[kDelay])
        processor_.setNormalisedDelay(crossfeed::parameterFromControl(parameterOf(kDelay), *delay));
}

void PortInstance::silenceOutputs(std::size_t frames) noexcept {
    for (std::uint32_t port : {kOutLeft, kOutRight})
        if (float* out = ports_[port]) std::fill(out, out + frames, 0.0f);
}

void PortInstance::run(std::size_t frames) noexcept {
    applyControls();
    if (!ports_[kInLeft] || !ports_[kInRight] || !ports_[kOutLeft] || !ports_[kOutRight]) {
        silenceOutputs(frames);
        return;
    }
    processor_.process(ports_[kInLeft], ports_[kInRight], ports_[kOutLeft], ports_[kOutRight], frames,
                       CrossfeedProcessor::Output::replace);
}

}  // namespace crossfeed_ports
