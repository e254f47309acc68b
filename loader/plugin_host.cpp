#include "loader/plugin_host.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

HostInt EFFECT_CALL standardHostCallback(EffectRecord*, std::int32_t opcode, std::int32_t, HostInt, void*, float) {
    return opcode == kHostVersion ? 1 : 0;
}

std::unique_ptr<PluginModule> PluginModule::load(const std::string& path, std::string& error) {
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) {
        error = "cannot load module (Windows error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    auto main = reinterpret_cast<ModuleMain>(reinterpret_cast<void*>(GetProcAddress(handle, "main")));
    if (!main) {
        FreeLibrary(handle);
        error = "module exports no 'main'";
        return nullptr;
    }
#else
    // A relative name without a slash would search the library path instead.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "cannot load module";
        return nullptr;
    }
    auto main = reinterpret_cast<ModuleMain>(dlsym(handle, "main"));
    if (!main) {
        dlclose(handle);
        error = "module exports no 'main'";
        return nullptr;
    }
#endif
    return std::unique_ptr<PluginModule>(new PluginModule(reinterpret_cast<void*>(handle), main));
}

std::string recordFault(const EffectRecord& record) {
    if (record.magic != kEffectMagic) return "its record has the wrong magic number (not an effect of this interface)";
    if (!record.dispatchEntry || !record.setParameterEntry || !record.getParameterEntry || !record.processEntry)
        return "its record lacks an entry function";
    if ((record.flags & kFlagReplacing) && !record.processReplacingEntry)
        return "its record claims a replacing entry but has none";
    auto within = [](std::int32_t count, std::int32_t most) { return count >= 0 && count <= most; };
    if (!within(record.programCount, kMostPrograms))
        return "its record declares " + std::to_string(record.programCount) + " programs (at most " +
               std::to_string(kMostPrograms) + " can be used)";
    if (!within(record.parameterCount, kMostParameters))
        return "its record declares " + std::to_string(record.parameterCount) + " parameters (at most " +
               std::to_string(kMostParameters) + " can be used)";
    if (!within(record.inputCount, kMostChannels) || !within(record.outputCount, kMostChannels))
        return "its record declares " + std::to_string(record.inputCount) + " inputs and " +
               std::to_string(record.outputCount) + " outputs (at most " + std::to_string(kMostChannels) + " each)";
    return "";
}

EffectRecord* PluginModule::instantiateChecked(std::string& error, HostCallback host) const {
    EffectRecord* record = main_(host);
    if (!record) {
        error = "the module's main answered null";
        return nullptr;
    }
    error = recordFault(*record);
    if (error.empty()) return record;
    // Its own close entry is the only way to free it, and a record with the
    // wrong magic may not hold a function there at all.
    if (record->magic == kEffectMagic && record->dispatchEntry)
        record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f);
    return nullptr;
}

PluginModule::~PluginModule() {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

HostInt EffectInstance::dispatch(std::int32_t opcode, std::int32_t index, HostInt value, void* pointer,
                                 float option) noexcept {
    return record_ ? record_->dispatchEntry(record_, opcode, index, value, pointer, option) : 0;
}

void EffectInstance::setParameter(std::int32_t index, float value) noexcept {
    if (record_) record_->setParameterEntry(record_, index, value);
}

float EffectInstance::getParameter(std::int32_t index) noexcept {
    return record_ ? record_->getParameterEntry(record_, index) : 0.0f;
}

void EffectInstance::processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept {
    if (record_) record_->processReplacingEntry(record_, inputs, outputs, frames);
}

void EffectInstance::processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept {
    if (record_) record_->processEntry(record_, inputs, outputs, frames);
}

void EffectInstance::setProgramName(const std::string& name) noexcept {
    dispatch(kEffectSetProgramName, 0, 0, const_cast<char*>(name.c_str()));
}

std::string EffectInstance::text(std::int32_t opcode, std::int32_t index) noexcept {
    // Larger than any limit, so an overrun would show up as a longer text.
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string EffectInstance::programName() noexcept { return text(kEffectGetProgramName, 0); }
std::string EffectInstance::parameterName(std::int32_t index) noexcept { return text(kEffectGetParameterName, index); }
std::string EffectInstance::parameterLabel(std::int32_t index) noexcept {
    return text(kEffectGetParameterLabel, index);
}
std::string EffectInstance::parameterDisplay(std::int32_t index) noexcept {
    return text(kEffectGetParameterDisplay, index);
}

HostInt EffectInstance::close() noexcept {
    HostInt answer = 0;
    if (record_) answer = record_->dispatchEntry(record_, kEffectClose, 0, 0, nullptr, 0.0f);
    record_ = nullptr;
    return answer;
}
