// The module's effect: each output is its own input, slightly attenuated,
// plus the other channel's input delayed by up to 511 samples.
#pragma once

#include <cstdint>

#include "crossfeed/crossfeed_kernel.h"
#include "host/effect_base.h"

struct CrossfeedProgram {
    float delayAmount = 0.0f;
    float crossLevel = 0.0f;
    char name[kProgramNameBytes] = "Init";
};

class CrossfeedEffect : public EffectBase {
public:
    static constexpr std::int32_t kProgramCount = 4;
    static constexpr std::int32_t kParameterCount = 2;
    // Samples in each ring, whatever the sample rate: `delayLength`.
    static constexpr std::int32_t kDelayLength = 512;
    static constexpr std::int32_t kCrossLevel = 0;
    static constexpr std::int32_t kDelayAmount = 1;
    // What the identity opcodes answer: an effect (not an instrument), and
    // the interface version whose queries the effect answers or declines.
    static constexpr std::int32_t kCategoryEffect = 1;
    static constexpr std::int32_t kInterfaceVersion = 2400;
    // The shortest delay at which a kernel may refill the ring as it reads.
    static constexpr std::int32_t kFusedMinimumOffset = 16;
    static_assert(kWidestKernelStep <= kFusedMinimumOffset, "a kernel step would read what it stores");

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

    // The delay in samples that processing applies for a delay parameter.
    static std::int32_t delayOffsetFor(float delayAmount) noexcept;

private:
    // Tests run every kernel set through the whole processing path.
    friend class CrossfeedKernelOverride;

    template <bool adding>
    void crossfeed(float** inputs, float** outputs, std::int32_t frames) noexcept;
    void loadPresets() noexcept;

    float crossLevel = 0.0f;
    float delayAmount = 0.0f;
    float* delayLine[2] = {nullptr, nullptr};
    std::int32_t writeIndex = 0;
    std::int32_t readIndex = 0;
    std::int32_t delayLength = kDelayLength;
    std::int32_t programIndex = 0;
    CrossfeedProgram* programs = nullptr;
    CrossfeedKernels kernels{};
};
