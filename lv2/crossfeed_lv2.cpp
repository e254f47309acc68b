// The LV2 plug-in: a descriptor table whose entries forward to the port
// instance, each holding the module's float settings while effect code runs.
#include <lv2/core/lv2.h>

#include "adapter/port_instance.h"
#include "host/float_environment.h"

using crossfeed_ports::PortInstance;

namespace {

PortInstance* instanceOf(LV2_Handle handle) { return static_cast<PortInstance*>(handle); }

// The delay is a number of samples whatever the rate: the rate is not needed.
LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*) {
    const ModuleFloatEnvironment environment;
    return PortInstance::create();
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    instanceOf(handle)->connect(port, static_cast<float*>(data));
}

void activate(LV2_Handle handle) {
    const ModuleFloatEnvironment environment;
    instanceOf(handle)->activate();
}

void run(LV2_Handle handle, uint32_t frames) {
    const ModuleFloatEnvironment environment;
    instanceOf(handle)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    const ModuleFloatEnvironment environment;
    delete instanceOf(handle);
}

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    crossfeed::kLv2Uri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
