// Runs one fixed scenario through the module and the framework's number
// texts and reduces every output byte to a digest. Every target must print
// the digests recorded in tests/data/cross_target_digests.txt.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/effect_base.h"
#include "host/value_text.h"
#include "support/module_under_test.h"

namespace {

class Digest {
public:
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 0x100000001B3ull;
        }
    }
    void add(const std::vector<float>& samples) { add(samples.data(), samples.size() * sizeof(float)); }
    void addText(const char* text) { add(text, std::strlen(text) + 1); }
    std::string hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
        return text;
    }

private:
    unsigned long long hash_ = 0xCBF29CE484222325ull;
};

std::string processingDigest() {
    Digest digest;
    const int blocks[] = {1, 3, 64, 100, 512, 1031, 4096};
    for (int program = 0; program < 4; ++program) {
        for (bool adding : {false, true}) {
            for (bool inPlace : {false, true}) {
                EffectInstance effect = newEffect();
                effect.setSampleRate(48000.0f);
                effect.setBlockSize(4096);
                effect.power(true);
                effect.setProgram(program);
                std::uint32_t seed = 1000u + static_cast<std::uint32_t>(program * 4 + adding * 2 + inPlace);
                int step = 0;
                for (int frames : blocks) {
                    std::vector<float> inL = noise(frames, seed++), inR = noise(frames, seed++);
                    std::vector<float> outL = noise(frames, seed++), outR = noise(frames, seed++);
                    float* in[2] = {inL.data(), inR.data()};
                    float* out[2] = {outL.data(), outR.data()};
                    float** target = inPlace ? in : out;
                    if (adding)
                        effect.processAdding(in, target, frames);
                    else
                        effect.processReplacing(in, target, frames);
                    digest.add(inPlace ? inL : outL);
                    digest.add(inPlace ? inR : outR);
                    // Vary the parameters and the ring between blocks.
                    switch (step++ % 4) {
                    case 0: effect.setParameter(1, static_cast<float>(step) * 0.13f); break;
                    case 1: effect.setParameter(0, static_cast<float>(step) * 0.11f); break;
                    case 2: effect.power(false); effect.power(true); break;
                    default: effect.setProgram((program + step) % 4); break;
                    }
                }
            }
        }
    }
    return digest.hex();
}

class PlainEffect : public EffectBase {
public:
    PlainEffect() : EffectBase(nullptr, 1, 1) {}
    void processAdding(float**, float**, std::int32_t) noexcept override {}
};

std::string textsDigest() {
    Digest digest;
    char text[kNumberTextBytes];
    PlainEffect effect;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4099) {
        float value;
        const auto pattern = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &pattern, sizeof value);
        formatFloatText(value, text);
        digest.addText(text);
        effect.formatDecibels(value, text);
        digest.addText(text);
        effect.formatHertz(value, text);
        digest.addText(text);
        effect.formatMilliseconds(value, text);
        digest.addText(text);
        formatIntegerText(static_cast<std::int32_t>(pattern), text);
        digest.addText(text);
    }
    EffectInstance module = newEffect();
    for (int i = 0; i <= 2000; ++i) {
        const float value = static_cast<float>(i) / 2000.0f;
        module.setParameter(0, value);
        module.setParameter(1, value);
        digest.addText(module.parameterDisplay(0).c_str());
        digest.addText(module.parameterDisplay(1).c_str());
    }
    return digest.hex();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string processing = processingDigest();
    const std::string texts = textsDigest();
    std::printf("processing %s\ntexts %s\n", processing.c_str(), texts.c_str());
    if (argc > 1 && std::strcmp(argv[1], "--print") == 0) return 0;
    bool same = true;
    if (processing != CROSS_TARGET_PROCESSING) {
        std::printf("processing differs from the recorded %s\n", CROSS_TARGET_PROCESSING);
        same = false;
    }
    if (texts != CROSS_TARGET_TEXTS) {
        std::printf("texts differ from the recorded %s\n", CROSS_TARGET_TEXTS);
        same = false;
    }
    std::printf("%s\n", same ? "1 passed, 0 failed" : "0 passed, 1 failed");
    return same ? 0 : 1;
}
