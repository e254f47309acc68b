// The module's effect as the VST interface sees it: the processor behind a
// record, with four programs that remember their last edit, and the texts
// a host asks for.
#pragma once

#include <cstdint>

#include "crossfeed/crossfeed_processor.h"
#include "crossfeed/descriptor.h"
#include "host/effect_base.h"

struct CrossfeedProgram {
    float delayAmount = 0.0f;  // parameter 1
    float crossLevel = 0.0f;   // parameter 0
    char name[kProgramNameBytes] = "Init";
};

class CrossfeedEffect : public EffectBase {
public:
    static constexpr std::int32_t kProgramCount = crossfeed::kPresetCount;
    static constexpr std::int32_t kParameterCount = crossfeed::kParameterCount;
    static constexpr std::int32_t kCrossLevel = crossfeed::kLevelParameter;
    static constexpr std::int32_t kDelayAmount = crossfeed::kDelayParameter;
    // The interface version whose queries the effect answers or declines.
    static constexpr std::int32_t kInterfaceVersion = 2400;

    explicit CrossfeedEffect(HostCallback host) noexcept;
    ~CrossfeedEffect() override;

    // False when a ring or the program table could not be allocated.
    bool ready() const noexcept;

    void setParameter(std::int32_t index, float value) noexcept override;
    float getParameter(std::int32_t index) noexcept override;
    void processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept override;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override;
    void setProgram(std::int32_t program) noexcept override;
    void setProgramName(char* name) noexcept override;
    void getProgramName(char* name) noexcept override;
    void getParameterLabel(std::int32_t index, char* text) noexcept override;
    void getParameterDisplay(std::int32_t index, char* text) noexcept override;
    void getParameterName(std::int32_t index, char* text) noexcept override;
    void suspend() noexcept override;
    bool16 getEffectName(char* text) noexcept override;
    bool16 getVendorString(char* text) noexcept override;
    bool16 getProductString(char* text) noexcept override;
    std::int32_t getVendorVersion() noexcept override;
    std::int32_t getCategory() noexcept override;
    bool16 canParameterBeAutomated(std::int32_t index) noexcept override;
    bool16 getProgramNameIndexed(std::int32_t program, char* text) noexcept override;
    std::int32_t getInterfaceVersion() noexcept override;

private:
    void process(float** inputs, float** outputs, std::int32_t frames, CrossfeedProcessor::Output output) noexcept;
    void loadPresets() noexcept;

    CrossfeedProcessor processor;
    CrossfeedProgram* programs = nullptr;
};
