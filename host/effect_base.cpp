#include "host/effect_base.h"

#include <cstring>

#include "host/float_environment.h"
#include "host/numeric.h"

EffectBase::EffectBase(HostCallback host, std::int32_t programs, std::int32_t parameters) noexcept
    : hostCallback(host), programCount(programs), parameterCount(parameters) {
    std::memset(&record, 0, sizeof record);
    record.magic = kEffectMagic;
    record.dispatchEntry = &EffectBase::recordDispatch;
    record.processEntry = &EffectBase::recordProcessAdding;
    record.setParameterEntry = &EffectBase::recordSetParameter;
    record.getParameterEntry = &EffectBase::recordGetParameter;
    record.processReplacingEntry = &EffectBase::recordProcessReplacing;
    record.programCount = programs;
    record.parameterCount = parameters;
    record.inputCount = 1;
    record.outputCount = 2;
    record.flags = 0;
    record.ioRatio = 1.0f;
    record.object = this;
    record.user = nullptr;
    record.version = 1;
    record.uniqueId = fourCharCode('N', 'o', 'I', 'd');
}

EffectBase::~EffectBase() { delete editor; }

// ---- record entries ----

EffectBase* EffectBase::effectOf(EffectRecord* record) noexcept {
    return record ? static_cast<EffectBase*>(record->object) : nullptr;
}

HostInt EFFECT_CALL EffectBase::recordDispatch(EffectRecord* record, std::int32_t opcode, std::int32_t index,
                                               HostInt value, void* pointer, float option) {
    const ModuleFloatEnvironment environment;
    EffectBase* effect = effectOf(record);
    if (!effect) return 0;
    HostInt result = effect->dispatch(opcode, index, value, pointer, option);
    if (opcode == kEffectClose) {
        delete effect;
        return 1;
    }
    return result;
}

void EFFECT_CALL EffectBase::recordProcessAdding(EffectRecord* record, float** inputs, float** outputs,
                                                 std::int32_t frames) {
    const ModuleFloatEnvironment environment;
    EffectBase* effect = effectOf(record);
    if (effect && inputs && outputs) effect->processAdding(inputs, outputs, frames);
}

void EFFECT_CALL EffectBase::recordProcessReplacing(EffectRecord* record, float** inputs, float** outputs,
                                                    std::int32_t frames) {
    const ModuleFloatEnvironment environment;
    EffectBase* effect = effectOf(record);
    if (effect && inputs && outputs) effect->processReplacing(inputs, outputs, frames);
}

void EFFECT_CALL EffectBase::recordSetParameter(EffectRecord* record, std::int32_t index, float value) {
    const ModuleFloatEnvironment environment;
    if (EffectBase* effect = effectOf(record)) effect->setParameter(index, value);
}

float EFFECT_CALL EffectBase::recordGetParameter(EffectRecord* record, std::int32_t index) {
    float value = 0.0f;
    {
        // The host's settings are back before the result is handed over.
        const ModuleFloatEnvironment environment;
        if (EffectBase* effect = effectOf(record)) value = effect->getParameter(index);
    }
    return value;
}

// ---- dispatcher ----

HostInt EffectBase::dispatch(std::int32_t opcode, std::int32_t index, HostInt value, void* pointer,
                             float option) noexcept {
    char* text = static_cast<char*>(pointer);
    switch (static_cast<std::uint32_t>(opcode)) {
    case kEffectOpen: open(); return 0;
    case kEffectClose: close(); return 0;
    case kEffectSetProgram:
        // Negative numbers would index before the program table.
        if (value >= 0 && value < programCount) setProgram(static_cast<std::int32_t>(value));
        return 0;
    case kEffectGetProgram: return getProgram();
    case kEffectSetProgramName: if (text) setProgramName(text); return 0;
    case kEffectGetProgramName: if (text) getProgramName(text); return 0;
    case kEffectGetParameterLabel: if (text) getParameterLabel(index, text); return 0;
    case kEffectGetParameterDisplay: if (text) getParameterDisplay(index, text); return 0;
    case kEffectGetParameterName: if (text) getParameterName(index, text); return 0;
    case kEffectGetVu: return truncateToInt32(static_cast<double>(getVu()) * 32767.0);
    case kEffectSetSampleRate: setSampleRate(option); return 0;
    case kEffectSetBlockSize: setBlockSize(saturateToInt32(value)); return 0;
    case kEffectPower:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case kEditorGetRect: return editor ? editor->getRect(pointer) : 0;
    case kEditorOpen: return editor ? editor->open(pointer) : 0;
    case kEditorClose: if (editor) editor->close(); return 0;
    case kEditorIdle: if (editor) editor->idle(); return 0;
    case kEffectIdentify: return kIdentifyAnswer;
    case kEffectCanBeAutomated:
        return index >= 0 && index < parameterCount ? canParameterBeAutomated(index) != 0 : 0;
    case kEffectGetProgramNameIndexed:
        return text && index >= 0 && index < programCount ? getProgramNameIndexed(index, text) != 0 : 0;
    case kEffectGetCategory: return getCategory();
    case kEffectGetEffectName: return text ? getEffectName(text) != 0 : 0;
    case kEffectGetVendorString: return text ? getVendorString(text) != 0 : 0;
    case kEffectGetProductString: return text ? getProductString(text) != 0 : 0;
    case kEffectGetVendorVersion: return getVendorVersion();
    case kEffectGetInterfaceVersion: return getInterfaceVersion();
    default: return 0;
    }
}

// ---- defaults ----

void EffectBase::setParameter(std::int32_t, float) noexcept {}
float EffectBase::getParameter(std::int32_t) noexcept { return 0.0f; }

void EffectBase::setParameterAndNotify(std::int32_t index, float value) noexcept {
    setParameter(index, value);
    if (hostCallback) callHost(kHostAutomate, index, 0, value);
}

void EffectBase::processReplacing(float**, float**, std::int32_t) noexcept {}
void EffectBase::open() noexcept {}
void EffectBase::close() noexcept {}
std::int32_t EffectBase::getProgram() noexcept { return currentProgram; }
void EffectBase::setProgram(std::int32_t program) noexcept { currentProgram = program; }
void EffectBase::setProgramName(char* name) noexcept { name[0] = '\0'; }
void EffectBase::getProgramName(char* name) noexcept { name[0] = '\0'; }
void EffectBase::getParameterLabel(std::int32_t, char* text) noexcept { text[0] = '\0'; }
void EffectBase::getParameterDisplay(std::int32_t, char* text) noexcept { text[0] = '\0'; }
void EffectBase::getParameterName(std::int32_t, char* text) noexcept { text[0] = '\0'; }
float EffectBase::getVu() noexcept { return 0.0f; }
void EffectBase::setSampleRate(float rate) noexcept { sampleRate = rate; }
void EffectBase::setBlockSize(std::int32_t size) noexcept { blockSize = size; }
void EffectBase::suspend() noexcept {}
void EffectBase::resume() noexcept {}
void EffectBase::setUniqueId(std::int32_t id) noexcept { record.uniqueId = id; }
void EffectBase::setInputCount(std::int32_t count) noexcept { record.inputCount = count; }
void EffectBase::setOutputCount(std::int32_t count) noexcept { record.outputCount = count; }

void EffectBase::setFlag(std::int32_t bit, bool16 state) noexcept {
    if (state)
        record.flags |= bit;
    else
        record.flags &= ~bit;
}

void EffectBase::setVuFlag(bool16 state) noexcept { setFlag(kFlagVu, state); }
void EffectBase::setClipFlag(bool16 state) noexcept { setFlag(kFlagClip, state); }
void EffectBase::setMonoFlag(bool16 state) noexcept { setFlag(kFlagMono, state); }
void EffectBase::setReplacingFlag(bool16 state) noexcept { setFlag(kFlagReplacing, state); }
void EffectBase::setRealtimeQualities(std::int32_t qualities) noexcept { record.realtimeQualities = qualities; }
void EffectBase::setOfflineQualities(std::int32_t qualities) noexcept { record.offlineQualities = qualities; }
void EffectBase::setInitialDelay(std::int32_t delay) noexcept { record.initialDelay = delay; }
float EffectBase::getSampleRate() noexcept { return sampleRate; }
bool16 EffectBase::getEffectName(char*) noexcept { return 0; }
bool16 EffectBase::getVendorString(char*) noexcept { return 0; }
bool16 EffectBase::getProductString(char*) noexcept { return 0; }
std::int32_t EffectBase::getVendorVersion() noexcept { return 0; }
std::int32_t EffectBase::getCategory() noexcept { return 0; }
bool16 EffectBase::canParameterBeAutomated(std::int32_t) noexcept { return 0; }
bool16 EffectBase::getProgramNameIndexed(std::int32_t, char*) noexcept { return 0; }
std::int32_t EffectBase::getInterfaceVersion() noexcept { return 0; }
std::int32_t EffectBase::getBlockSize() noexcept { return blockSize; }

// ---- host requests ----

HostInt EffectBase::callHost(std::int32_t opcode, std::int32_t index, HostInt value, float option) noexcept {
    return hostCallback(&record, opcode, index, value, nullptr, option);
}

std::int32_t EffectBase::hostVersion() noexcept {
    if (!hostCallback) return 1;
    const HostInt answer = callHost(kHostVersion, 0, 0, 0.0f);
    return answer ? saturateToInt32(answer) : 1;
}

std::int32_t EffectBase::hostCurrentId() noexcept {
    return hostCallback ? saturateToInt32(callHost(kHostCurrentId, 0, 0, 0.0f)) : 0;
}

void EffectBase::hostIdle() noexcept {
    if (hostCallback) callHost(kHostIdle, 0, 0, 0.0f);
}

bool16 EffectBase::isInputConnected(std::int32_t index) noexcept {
    return hostCallback ? callHost(kHostPinConnected, index, 0, 0.0f) == 0 : 1;
}

bool16 EffectBase::isOutputConnected(std::int32_t index) noexcept {
    return hostCallback ? callHost(kHostPinConnected, index, 1, 0.0f) == 0 : 1;
}
