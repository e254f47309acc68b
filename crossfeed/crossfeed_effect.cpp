#include "crossfeed/crossfeed_effect.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "host/numeric.h"

namespace {

struct Preset {
    const char* name;
    float crossLevel;
    float delayAmount;
};

constexpr Preset kPresets[] = {
    {"Bedroom studio", 0.3f, 0.18f},
    {"Lounge room", 0.45f, 0.14f},
    {"Big Head", 0.2f, 1.0f},
    {"Car stereo", 0.25f, 0.1f},
};

}  // namespace

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
    for (float*& ring : delayLine) {
        ring = new (std::nothrow) float[kDelayLength];
        if (ring) std::fill(ring, ring + kDelayLength, 0.0f);
    }
    loadPresets();
    if (programs) setProgram(0);
    setInputCount(2);
    setOutputCount(2);
    setUniqueId(fourCharCode('Z', 'm', 'y', 'r'));
    setReplacingFlag(1);
    kernels = fastestCrossfeedKernels();
}

CrossfeedEffect::~CrossfeedEffect() {
    for (float* ring : delayLine) delete[] ring;
    delete[] programs;
}

bool CrossfeedEffect::ready() const noexcept { return programs && delayLine[0] && delayLine[1]; }

void CrossfeedEffect::loadPresets() noexcept {
    if (!programs) return;
    for (std::int32_t i = 0; i < kProgramCount && i < static_cast<std::int32_t>(std::size(kPresets)); ++i) {
        CrossfeedProgram& program = programs[i];
        std::strncpy(program.name, kPresets[i].name, sizeof program.name - 1);
        program.name[sizeof program.name - 1] = '\0';
        program.crossLevel = kPresets[i].crossLevel;
        program.delayAmount = kPresets[i].delayAmount;
    }
}

void CrossfeedEffect::setParameter(std::int32_t index, float value) noexcept {
    switch (index) {
    case kCrossLevel:
        programs[programIndex].crossLevel = value;
        crossLevel = value;
        break;
    case kDelayAmount:
        programs[programIndex].delayAmount = value;
        delayAmount = value;
        break;
    default: break;
    }
}

float CrossfeedEffect::getParameter(std::int32_t index) noexcept {
    switch (index) {
    case kCrossLevel: return crossLevel;
    case kDelayAmount: return delayAmount;
    default: return 0.0f;
    }
}

void CrossfeedEffect::setProgram(std::int32_t program) noexcept {
    if (program < 0 || program >= kProgramCount) return;
    programIndex = program;
    currentProgram = program;
    setParameter(kCrossLevel, programs[program].crossLevel);
    setParameter(kDelayAmount, programs[program].delayAmount);
}

void CrossfeedEffect::suspend() noexcept {
    for (float* ring : delayLine) std::fill(ring, ring + delayLength, 0.0f);
}

std::int32_t CrossfeedEffect::getVendorVersion() noexcept { return CROSSFEED_VERSION_NUMBER; }

std::int32_t CrossfeedEffect::getCategory() noexcept { return kCategoryEffect; }

bool16 CrossfeedEffect::canParameterBeAutomated(std::int32_t index) noexcept {
    return index == kCrossLevel || index == kDelayAmount;
}

std::int32_t CrossfeedEffect::getInterfaceVersion() noexcept { return kInterfaceVersion; }

std::int32_t CrossfeedEffect::delayOffsetFor(float amount) noexcept {
    // Out-of-range and NaN delays must not move the read position out of the
    // ring, and a whole ring's delay would land back on the current sample:
    // 511 is the longest delay the ring holds.
    if (!(amount > 0.0f)) amount = 0.0f;
    if (amount > 1.0f) amount = 1.0f;
    const std::int32_t offset = truncateToInt32(static_cast<float>(kDelayLength) * amount);
    return offset < kDelayLength - 1 ? offset : kDelayLength - 1;
}

void CrossfeedEffect::processAdding(float** inputs, float** outputs, std::int32_t frames) noexcept {
    crossfeed<true>(inputs, outputs, frames);
}

void CrossfeedEffect::processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept {
    crossfeed<false>(inputs, outputs, frames);
}

template <bool adding>
void CrossfeedEffect::crossfeed(float** inputs, float** outputs, std::int32_t frames) noexcept {
    const float* inLeft = inputs[0];
    const float* inRight = inputs[1];
    float* outLeft = outputs[0];
    float* outRight = outputs[1];
    if (!inLeft || !inRight || !outLeft || !outRight) return;

    const std::int32_t offset = delayOffsetFor(delayAmount);
    readIndex = writeIndex - offset;
    if (readIndex < 0) readIndex += delayLength;
    const float crossWeight = crossLevel / 2.0f;
    const float directWeight = 1.0f - crossWeight;
    if (frames <= 0) return;

    const CrossfeedKernel kernel = adding ? kernels.adding : kernels.replacing;
    float* leftRing = delayLine[0];
    float* rightRing = delayLine[1];
    std::int32_t write = writeIndex;
    std::int32_t read = readIndex;
    for (std::int32_t done = 0; done < frames;) {
        // A chunk wraps neither ring position, so its ring spans are contiguous.
        std::int32_t chunk = std::min(frames - done, delayLength - write);
        chunk = std::min(chunk, delayLength - read);

        CrossfeedSpan span{inLeft + done, inRight + done, leftRing + read, rightRing + read,
                           outLeft + done, outRight + done};
        // Refilling the ring as the kernel goes is safe when every delayed
        // sample it reads was stored by an earlier vector step or lies
        // ahead of the writes; a short delay within the ring's unwrapped
        // part reads what the same step stores, so store the chunk first.
        if (read > write || offset >= kFusedMinimumOffset) {
            span.ringLeft = leftRing + write;
            span.ringRight = rightRing + write;
        } else {
            const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(chunk);
            std::memcpy(leftRing + write, span.inLeft, bytes);
            std::memcpy(rightRing + write, span.inRight, bytes);
        }
        kernel(span, chunk, crossWeight, directWeight);

        done += chunk;
        write += chunk;
        if (write == delayLength) write = 0;
        read += chunk;
        if (read == delayLength) read = 0;
    }
    writeIndex = write;
    readIndex = read;
}
