// The effect framework: every effect derives from EffectBase, which owns the
// host-visible record, decodes the host's calls into virtual operations and
// gives each operation a harmless default.
#pragma once

#include <cstdint>

#include "host/entry.h"

using bool16 = std::int16_t;

// An optional editor window. No effect in this module has one; the framework
// only forwards to it and owns it.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual std::int32_t getRect(void* pointer) noexcept = 0;
    virtual std::int32_t open(void* pointer) noexcept = 0;
    virtual void close() noexcept = 0;
    virtual void idle() noexcept = 0;
};

class EffectBase {
public:
    EffectBase(HostCallback host, std::int32_t programCount, std::int32_t parameterCount) noexcept;
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // The virtual table keeps this order in every derived effect.
    virtual ~EffectBase();
    virtual void setParameter(std::int32_t index, float value) noexcept;
    virtual float getParameter(std::int32_t index) noexcept;
    virtual void setParameterAndNotify(std::int32_t index, float value) noexcept;
    virtual void processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept = 0;
    virtual void processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept;
    virtual HostInt dispatch(std::int32_t opcode, std::int32_t index, HostInt value, void* pointer,
                             float option) noexcept;
    virtual void open() noexcept;
    virtual void close() noexcept;
    virtual std::int32_t getProgram() noexcept;
    virtual void setProgram(std::int32_t program) noexcept;
    virtual void setProgramName(char* name) noexcept;
    virtual void getProgramName(char* name) noexcept;
    virtual void getParameterLabel(std::int32_t index, char* text) noexcept;
    virtual void getParameterDisplay(std::int32_t index, char* text) noexcept;
    virtual void getParameterName(std::int32_t index, char* text) noexcept;
    virtual float getVu() noexcept;
    virtual void setSampleRate(float rate) noexcept;
    virtual void setBlockSize(std::int32_t size) noexcept;
    virtual void suspend() noexcept;
    virtual void resume() noexcept;
    virtual void setUniqueId(std::int32_t id) noexcept;
    virtual void setInputCount(std::int32_t count) noexcept;
    virtual void setOutputCount(std::int32_t count) noexcept;
    virtual void setVuFlag(bool16 state) noexcept;
    virtual void setClipFlag(bool16 state) noexcept;
    virtual void setMonoFlag(bool16 state) noexcept;
    virtual void setReplacingFlag(bool16 state) noexcept;
    virtual void setRealtimeQualities(std::int32_t qualities) noexcept;
    virtual void setOfflineQualities(std::int32_t qualities) noexcept;
    virtual void setInitialDelay(std::int32_t delay) noexcept;
    virtual float getSampleRate() noexcept;
    virtual std::int32_t getBlockSize() noexcept;
    virtual std::int32_t hostVersion() noexcept;
    virtual std::int32_t hostCurrentId() noexcept;
    virtual void hostIdle() noexcept;
    virtual bool16 isInputConnected(std::int32_t index) noexcept;
    virtual bool16 isOutputConnected(std::int32_t index) noexcept;
    virtual void formatDecibels(float value, char* text) noexcept;
    virtual void formatHertz(float samples, char* text) noexcept;
    virtual void formatMilliseconds(float samples, char* text) noexcept;
    virtual void formatFloat(float value, char* text) noexcept;
    virtual void formatInteger(std::int32_t value, char* text) noexcept;
    // Asked by hosts of later interface versions, which take 0 for "not
    // supported". Names fill at most kIdentityTextBytes with the terminator.
    virtual bool16 getEffectName(char* text) noexcept;
    virtual bool16 getVendorString(char* text) noexcept;
    virtual bool16 getProductString(char* text) noexcept;
    virtual std::int32_t getVendorVersion() noexcept;
    virtual std::int32_t getCategory() noexcept;
    virtual bool16 canParameterBeAutomated(std::int32_t index) noexcept;
    // `program` is one of the effect's; the current program stays.
    virtual bool16 getProgramNameIndexed(std::int32_t program, char* text) noexcept;
    virtual std::int32_t getInterfaceVersion() noexcept;

    EffectRecord* getRecord() noexcept { return &record; }

protected:
    float sampleRate = 44100.0f;
    EffectEditor* editor = nullptr;
    HostCallback hostCallback;
    std::int32_t programCount;
    std::int32_t parameterCount;
    std::int32_t currentProgram = 0;
    std::int32_t blockSize = 1024;
    EffectRecord record;

private:
    static EffectBase* effectOf(EffectRecord* record) noexcept;
    HostInt callHost(std::int32_t opcode, std::int32_t index, HostInt value, float option) noexcept;
    void setFlag(std::int32_t bit, bool16 state) noexcept;

    // The record's entries: recover the object and forward to its virtuals.
    static HostInt EFFECT_CALL recordDispatch(EffectRecord* record, std::int32_t opcode, std::int32_t index,
                                              HostInt value, void* pointer, float option);
    static void EFFECT_CALL recordProcessAdding(EffectRecord* record, float** inputs, float** outputs,
                                                std::int32_t frames);
    static void EFFECT_CALL recordProcessReplacing(EffectRecord* record, float** inputs, float** outputs,
                                                   std::int32_t frames);
    static void EFFECT_CALL recordSetParameter(EffectRecord* record, std::int32_t index, float value);
    static float EFFECT_CALL recordGetParameter(EffectRecord* record, std::int32_t index);
};
