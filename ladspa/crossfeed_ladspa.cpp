// The LADSPA plug-in: one descriptor whose entries forward to the ported
// effect, each holding the module's float settings while effect code runs.
#include <ladspa.h>

#include <cstdio>

#include "adapter/crossfeed_ports.h"
#include "host/float_environment.h"

using crossfeed_ports::kPortCount;
using crossfeed_ports::kPorts;
using crossfeed_ports::PortedCrossfeed;
using crossfeed_ports::PortKind;

namespace {

// "Zm", as in the VST module's identifier "Zmyr".
constexpr unsigned long kUniqueId = 0x5A6D;

PortedCrossfeed* portedOf(LADSPA_Handle instance) { return static_cast<PortedCrossfeed*>(instance); }

LADSPA_Handle instantiate(const LADSPA_Descriptor*, unsigned long rate) {
    const ModuleFloatEnvironment environment;
    return PortedCrossfeed::create(static_cast<double>(rate));
}

void connectPort(LADSPA_Handle instance, unsigned long port, LADSPA_Data* data) {
    if (port < kPortCount) portedOf(instance)->connect(static_cast<std::uint32_t>(port), data);
}

void activate(LADSPA_Handle instance) {
    const ModuleFloatEnvironment environment;
    portedOf(instance)->activate();
}

void run(LADSPA_Handle instance, unsigned long frames) {
    const ModuleFloatEnvironment environment;
    portedOf(instance)->run(frames);
}

void cleanup(LADSPA_Handle instance) {
    const ModuleFloatEnvironment environment;
    delete portedOf(instance);
}

LADSPA_PortDescriptor descriptorOf(PortKind kind) {
    switch (kind) {
    case PortKind::kAudioInput: return LADSPA_PORT_AUDIO | LADSPA_PORT_INPUT;
    case PortKind::kAudioOutput: return LADSPA_PORT_AUDIO | LADSPA_PORT_OUTPUT;
    case PortKind::kControlInput: break;
    }
    return LADSPA_PORT_CONTROL | LADSPA_PORT_INPUT;
}

// LADSPA's default hints name a few points of the range only; the first
// program's values lie between them, so the lower quarter is offered.
LADSPA_PortRangeHint controlHint(double maximum) {
    return {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_DEFAULT_LOW, 0.0f,
            static_cast<LADSPA_Data>(maximum)};
}

// Filled once, from the effect's own texts and the shared port table.
struct Description {
    char name[kIdentityTextBytes] = {};
    char maker[kIdentityTextBytes] = {};
    const char* portNames[kPortCount] = {};
    LADSPA_PortDescriptor portDescriptors[kPortCount] = {};
    LADSPA_PortRangeHint portHints[kPortCount] = {};
    LADSPA_Descriptor descriptor = {};
    bool whole = false;

    Description() {
        const ModuleFloatEnvironment environment;
        PortedCrossfeed* ported = PortedCrossfeed::create(44100.0);
        if (!ported) return;
        ported->effect().getEffectName(name);
        ported->effect().getVendorString(maker);
        delete ported;
        for (std::uint32_t port = 0; port < kPortCount; ++port) {
            portNames[port] = kPorts[port].name;
            portDescriptors[port] = descriptorOf(kPorts[port].kind);
        }
        portHints[crossfeed_ports::kLevel] = controlHint(crossfeed_ports::levelMaximum());
        portHints[crossfeed_ports::kDelay] = controlHint(crossfeed_ports::delayMaximum());
        descriptor.UniqueID = kUniqueId;
        descriptor.Label = "crossfeed";
        descriptor.Properties = LADSPA_PROPERTY_HARD_RT_CAPABLE;
        descriptor.Name = name;
        descriptor.Maker = maker;
        descriptor.Copyright = "MIT";
        descriptor.PortCount = kPortCount;
        descriptor.PortDescriptors = portDescriptors;
        descriptor.PortNames = portNames;
        descriptor.PortRangeHints = portHints;
        descriptor.instantiate = instantiate;
        descriptor.connect_port = connectPort;
        descriptor.activate = activate;
        descriptor.run = run;
        descriptor.cleanup = cleanup;
        whole = true;
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    static const Description description;
    return index == 0 && description.whole ? &description.descriptor : nullptr;
}
