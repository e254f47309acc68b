// A module whose record a host must not trust, chosen by ODD_RECORD: a wrong
// magic, eight outputs, no replacing entry, two billion programs, or mono.
// Whatever it is asked to process, it writes every output it declares.
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/entry.h"

namespace {

HostInt EFFECT_CALL dispatch(EffectRecord* record, std::int32_t opcode, std::int32_t, HostInt, void* pointer, float) {
    if (opcode == kEffectClose) {
        delete record;
        return 1;
    }
    if (opcode == kEffectGetProgramName && pointer) std::strcpy(static_cast<char*>(pointer), "Odd");
    return 0;
}

void EFFECT_CALL process(EffectRecord* record, float**, float** outputs, std::int32_t frames) {
    for (std::int32_t channel = 0; channel < record->outputCount; ++channel)
        for (std::int32_t i = 0; i < frames; ++i) outputs[channel][i] = 0.0f;
}

void EFFECT_CALL setParameter(EffectRecord*, std::int32_t, float) {}
float EFFECT_CALL getParameter(EffectRecord*, std::int32_t) { return 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) EffectRecord* oddEffect(HostCallback) noexcept __asm__("main");

extern "C" EffectRecord* oddEffect(HostCallback) noexcept {
    const char* odd = std::getenv("ODD_RECORD");
    const std::string kind = odd ? odd : "";
    auto* record = new EffectRecord{};
    record->magic = kind == "magic" ? fourCharCode('V', 's', 't', 'Q') : kEffectMagic;
    record->dispatchEntry = dispatch;
    record->processEntry = process;
    record->setParameterEntry = setParameter;
    record->getParameterEntry = getParameter;
    record->processReplacingEntry = kind == "no-replacing" ? nullptr : process;
    record->flags = kind == "no-replacing" ? 0 : kFlagReplacing;
    record->programCount = kind == "programs" ? 2000000000 : 1;
    record->parameterCount = 0;
    record->inputCount = kind == "mono" ? 1 : 2;
    record->outputCount = kind == "outputs" ? 8 : kind == "mono" ? 1 : 2;
    record->ioRatio = 1.0f;
    return record;
}
