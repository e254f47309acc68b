#include "crossfeed/crossfeed_effect.h"

#include <cstring>
#include <new>

EffectBase* createEffect(HostCallback host) noexcept {
    auto* effect = new (std::nothrow) CrossfeedEffect(host);
    if (effect && !effect->ready()) {
        delete effect;
        return nullptr;
    }
    return effect;
}

CrossfeedEffect::CrossfeedEffect(HostCallback host) noexcept : EffectBase(host, kProgramCount, kParameterCount) {
    programs = new (std::nothrow) CrossfeedProgram[kProgramCount];
    loadPresets();
    if (programs) setProgram(0);
    setInputCount(2);
    setOutputCount(2);
    const char* id = crossfeed::kVstUniqueId;
    setUniqueId(fourCharCode(id[0], id[1], id[2], id[3]));
    setReplacingFlag(1);
}

CrossfeedEffect::~CrossfeedEffect() { delete[] programs; }

bool CrossfeedEffect::ready() const noexcept { return programs && processor.ready(); }

void CrossfeedEffect::loadPresets() noexcept {
    if (!programs) return;
    for (std::int32_t i = 0; i < kProgramCount; ++i) {
        CrossfeedProgram& program = programs[i];
        const crossfeed::Preset& preset = crossfeed::kPresets[i];
        std::strncpy(program.name, preset.name, sizeof program.name - 1);
        program.name[sizeof program.name - 1] = '\0';
        program.crossLevel = preset.level;
        program.delayAmount = preset.delay;
    }
}

void CrossfeedEffect::setParameter(std::int32_t index, float value) noexcept {
    switch (index) {
    case kCrossLevel:
        programs[currentProgram].crossLevel = value;
        processor.setCrossLevel(value);
        break;
    case kDelayAmount:
        programs[currentProgram].delayAmount = value;
        processor.setNormalisedDelay(value);
        break;
    default: break;
    }
}

float CrossfeedEffect::getParameter(std::int32_t index) noexcept {
    switch (index) {
    case kCrossLevel: return processor.crossLevel();
    case kDelayAmount: return processor.normalisedDelay();
    default: return 0.0f;
    }
}

void CrossfeedEffect::setProgram(std::int32_t program) noexcept {
    if (program < 0 || program >= kProgramCount) return;
    currentProgram = program;
    setParameter(kCrossLevel, programs[program].crossLevel);
    setParameter(kDelayAmount, programs[program].delayAmount);
}

void CrossfeedEffect::suspend() noexcept { processor.reset(); }

std::int32_t CrossfeedEffect::getVendorVersion() noexcept { return crossfeed::vendorVersionOf(crossfeed::kVersion); }

std::int32_t CrossfeedEffect::getCategory() noexcept { return crossfeed::kVstCategoryEffect; }

bool16 CrossfeedEffect::canParameterBeAutomated(std::int32_t index) noexcept {
    return index == kCrossLevel || index == kDelayAmount;
}

std::int32_t CrossfeedEffect::getInterfaceVersion() noexcept { return kInterfaceVersion; }

void CrossfeedEffect::processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept {
    process(inputs, outputs, frames, CrossfeedProcessor::Output::add);
}

void CrossfeedEffect::processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept {
    process(inputs, outputs, frames, CrossfeedProcessor::Output::replace);
}

void CrossfeedEffect::process(float** inputs, float** outputs, std::int32_t frames,
                              CrossfeedProcessor::Output output) noexcept {
    if (frames <= 0 || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;
    processor.process(inputs[0], inputs[1], outputs[0], outputs[1], static_cast<std::size_t>(frames), output);
}
