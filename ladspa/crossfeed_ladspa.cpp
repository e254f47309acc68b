// The LADSPA plug-in: one constant descriptor, made from the effect's
// descriptor and the shared port table, whose entries forward to the port
// instance, each holding the module's float settings while effect code runs.
#include <ladspa.h>

#include "adapter/port_instance.h"
#include "host/float_environment.h"

using crossfeed_ports::kPortCount;
using crossfeed_ports::kPorts;
using crossfeed_ports::PortInstance;
using crossfeed_ports::PortKind;

namespace {

PortInstance* instanceOf(LADSPA_Handle handle) { return static_cast<PortInstance*>(handle); }

// The delay is a number of samples whatever the rate: the rate is not needed.
LADSPA_Handle instantiate(const LADSPA_Descriptor*, unsigned long) {
    const ModuleFloatEnvironment environment;
    return PortInstance::create();
}

void connectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    if (port < kPortCount) instanceOf(handle)->connect(static_cast<std::uint32_t>(port), data);
}

void activate(LADSPA_Handle handle) {
    const ModuleFloatEnvironment environment;
    instanceOf(handle)->activate();
}

void run(LADSPA_Handle handle, unsigned long frames) {
    const ModuleFloatEnvironment environment;
    instanceOf(handle)->run(frames);
}

void cleanup(LADSPA_Handle handle) {
    const ModuleFloatEnvironment environment;
    delete instanceOf(handle);
}

constexpr LADSPA_PortDescriptor descriptorOf(PortKind kind) {
    switch (kind) {
    case PortKind::kAudioInput: return LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT;
    case PortKind::kAudioOutput: return LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT;
    case PortKind::kControlInput: break;
    }
    return LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT;
}

// LADSPA's default hints name a few points of the range only; the first
// program's values lie between them, so the lower quarter is offered.
constexpr LADSPA_PortRangeHint hintOf(std::uint32_t port) {
    if (kPorts[port].kind != PortKind::kControlInput) return {0, 0.0f, 0.0f};
    const double maximum = crossfeed::kParameters[crossfeed_ports::parameterOf(crossfeed_ports::Port(port))].maximum;
    return {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_DEFAULT_LOW, 0.0f,
            static_cast<LADSPA_Data>(maximum)};
}

// Constant, so nothing runs when the library is loaded.
constexpr const char* kPortNames[kPortCount] = {kPorts[0].nameWithUnit, kPorts[1].nameWithUnit,
                                                kPorts[2].nameWithUnit, kPorts[3].nameWithUnit,
                                                kPorts[4].nameWithUnit, kPorts[5].nameWithUnit};
constexpr LADSPA_PortDescriptor kPortDescriptors[kPortCount] = {
    descriptorOf(kPorts[0].kind), descriptorOf(kPorts[1].kind), descriptorOf(kPorts[2].kind),
    descriptorOf(kPorts[3].kind), descriptorOf(kPorts[4].kind), descriptorOf(kPorts[5].kind)};
constexpr LADSPA_PortRangeHint kPortHints[kPortCount] = {hintOf(0), hintOf(1), hintOf(2),
                                                         hintOf(3), hintOf(4), hintOf(5)};
static_assert(kPortCount == 6, "one entry a port above");

const LADSPA_Descriptor kDescriptor = {
    crossfeed::kLadspaUniqueId,
    crossfeed::kLadspaLabel,
    LADSPA_PROPERTY_HARD_RT_CAPABLE,
    crossfeed::kEffectName,
    crossfeed::kVendorName,
    crossfeed::kLicence,
    kPortCount,
    kPortDescriptors,
    kPortNames,
    kPortHints,
    nullptr,
    instantiate,
    connectPort,
    activate,
    run,
    nullptr,
    nullptr,
    nullptr,
    cleanup,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    return index == 0 ? &kDescriptor : nullptr;
}
