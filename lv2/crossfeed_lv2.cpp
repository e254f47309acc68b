// The LV2 plug-in: a descriptor table whose entries forward to the ported
// effect, each holding the module's float settings while effect code runs.
#include <lv2/core/lv2.h>

#include "adapter/crossfeed_ports.h"
#include "host/float_environment.h"
#include "lv2/crossfeed_uri.h"

using crossfeed_ports::PortedCrossfeed;

namespace {

PortedCrossfeed* portedOf(LV2_Handle instance) { return static_cast<PortedCrossfeed*>(instance); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    const ModuleFloatEnvironment environment;
    return PortedCrossfeed::create(rate);
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    portedOf(instance)->connect(port, static_cast<float*>(data));
}

void activate(LV2_Handle instance) {
    const ModuleFloatEnvironment environment;
    portedOf(instance)->activate();
}

void run(LV2_Handle instance, uint32_t frames) {
    const ModuleFloatEnvironment environment;
    portedOf(instance)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle instance) {
    const ModuleFloatEnvironment environment;
    delete portedOf(instance);
}

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    CROSSFEED_LV2_URI, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
