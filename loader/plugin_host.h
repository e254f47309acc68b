// The host side of the binary interface: loads a module as a plug-in host
// does and drives an effect through its record. Used by the tests, the
// command-line renderer and the benchmark; never linked into the module.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/entry.h"

using ModuleMain = EffectRecord*(EFFECT_CALL*)(HostCallback host);

// Answers the version request (1 is enough for a version-1 effect) and
// every other request with 0.
HostInt EFFECT_CALL standardHostCallback(EffectRecord* record, std::int32_t opcode, std::int32_t index,
                                         HostInt value, void* pointer, float option);

// The most programs, parameters and channels a record may declare: beyond
// them it is broken, not large, and a host walking its programs would hang.
constexpr std::int32_t kMostPrograms = 4096;
constexpr std::int32_t kMostParameters = 4096;
constexpr std::int32_t kMostChannels = 64;

// Empty when a host may drive `record` through its entries; otherwise what
// is wrong with it: a wrong magic, an entry missing, a count out of range.
std::string recordFault(const EffectRecord& record);

class PluginModule {
public:
    // Null, with the reason in `error`, when the file cannot be loaded or
    // exports no `main`.
    static std::unique_ptr<PluginModule> load(const std::string& path, std::string& error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    ModuleMain entry() const noexcept { return main_; }
    EffectRecord* instantiate(HostCallback host = standardHostCallback) const noexcept { return main_(host); }
    // An effect whose record has been checked before any use; null, with
    // the reason in `error`, when `main` answers null or the record is
    // unfit (it is then closed where that is safe, else left alone).
    EffectRecord* instantiateChecked(std::string& error, HostCallback host = standardHostCallback) const;

private:
    PluginModule(void* handle, ModuleMain main) noexcept : handle_(handle), main_(main) {}
    void* handle_;
    ModuleMain main_;
};

// One effect, driven only through its record. Closes the effect when it goes.
class EffectInstance {
public:
    explicit EffectInstance(EffectRecord* record) noexcept : record_(record) {}
    ~EffectInstance() { close(); }
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;

    EffectRecord* record() const noexcept { return record_; }
    explicit operator bool() const noexcept { return record_ != nullptr; }

    HostInt dispatch(std::int32_t opcode, std::int32_t index = 0, HostInt value = 0, void* pointer = nullptr,
                     float option = 0.0f) noexcept;
    void setParameter(std::int32_t index, float value) noexcept;
    float getParameter(std::int32_t index) noexcept;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept;
    void processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept;

    void setProgram(std::int32_t program) noexcept { dispatch(kEffectSetProgram, 0, program); }
    std::int32_t program() noexcept { return static_cast<std::int32_t>(dispatch(kEffectGetProgram)); }
    void setProgramName(const std::string& name) noexcept;
    std::string programName() noexcept;
    std::string parameterName(std::int32_t index) noexcept;
    std::string parameterLabel(std::int32_t index) noexcept;
    std::string parameterDisplay(std::int32_t index) noexcept;
    void setSampleRate(float rate) noexcept { dispatch(kEffectSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(std::int32_t frames) noexcept { dispatch(kEffectSetBlockSize, 0, frames); }
    void power(bool on) noexcept { dispatch(kEffectPower, 0, on ? 1 : 0); }

    // Closes the effect; returns what the close entry answered (0 if none).
    HostInt close() noexcept;
    // Hands the effect over without closing it.
    EffectRecord* release() noexcept {
        EffectRecord* record = record_;
        record_ = nullptr;
        return record;
    }

private:
    std::string text(std::int32_t opcode, std::int32_t index) noexcept;
    EffectRecord* record_;
};
