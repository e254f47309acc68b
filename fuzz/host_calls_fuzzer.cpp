// Turns bytes into a hostile host: any sequence of calls on up to four
// effects, through their records' entries, with any opcode, index, value,
// option, pointer, parameter bits, frame count and buffer arrangement.
// Besides the sanitizers' checks it holds the module to what a host may rely
// on: answers of the fixed opcodes, texts inside their limits, parameters
// kept as set, and processing equal to the per-frame oracle.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "host/effect_base.h"
#include "host/entry.h"
#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

class Bytes : public FuzzInput {
public:
    using FuzzInput::FuzzInput;
    // Small numbers around zero are common; a set top bit asks for any int32.
    std::int32_t anyInt() {
        const std::uint8_t b = byte();
        return b & 0x80 ? static_cast<std::int32_t>(u32()) : static_cast<std::int32_t>(b) - 0x40;
    }
    HostInt anyValue() {
        const std::uint8_t b = byte();
        if (b == 0xFF) {
            std::uint64_t wide = u32();
            wide |= static_cast<std::uint64_t>(u32()) << 32;
            return static_cast<HostInt>(wide);
        }
        return b & 0x80 ? static_cast<HostInt>(static_cast<std::int32_t>(u32())) : static_cast<HostInt>(b) - 0x40;
    }
    // Mostly the nominal range in hundredths, then values known to hurt,
    // then any bits.
    float anyFloat() {
        static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                         -std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         -0.0f,
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::denorm_min(),
                                         1.0000001f,
                                         0.99999994f,
                                         -0.25f,
                                         2.0f,
                                         1e30f,
                                         99999999.0f,
                                         -9999999.5f,
                                         1e-30f};
        const std::uint8_t b = byte();
        if (b <= 100) return static_cast<float>(b) / 100.0f;
        if (b < 0x80) return kSpecial[(b - 101) % (sizeof kSpecial / sizeof kSpecial[0])];
        return floatBits();
    }
};


struct Slot {
    EffectRecord* record = nullptr;
    ReferenceCrossfeed oracle;
};

constexpr int kSlots = 4;
constexpr std::uint8_t kGuard = 0x5A;
constexpr std::size_t kTextBuffer = 256;

void create(Slot& slot) {
    if (slot.record) return;
    EffectBase* effect = createEffect(standardHostCallback);
    REQUIRE(effect);
    slot.record = effect->getRecord();
    REQUIRE(slot.record->object == effect && slot.record->magic == kEffectMagic);
    slot.oracle = ReferenceCrossfeed();
}

void close(Slot& slot) {
    REQUIRE(slot.record->dispatchEntry(slot.record, kEffectClose, 0, 0, nullptr, 0.0f) == 1);
    slot.record = nullptr;
}

// Most that the module may write for a text opcode, 0 for the others.
std::size_t textLimit(std::int32_t opcode) {
    if (opcode == kEffectGetProgramName) return kProgramNameBytes;
    if (opcode >= kEffectGetParameterLabel && opcode <= kEffectGetParameterName) return kParameterTextBytes;
    if (opcode == kEffectGetProgramNameIndexed || opcode == kEffectGetEffectName ||
        opcode == kEffectGetVendorString || opcode == kEffectGetProductString)
        return kIdentityTextBytes;
    return 0;
}

void dispatch(Slot& slot, Bytes& in) {
    std::int32_t opcode = in.anyInt();
    if (opcode >= -0x40 && opcode < 0) opcode += 0x40 - 0x10;  // mostly the table's own opcodes
    const std::int32_t index = in.anyInt();
    const HostInt value = in.anyValue();
    const float option = in.anyFloat();
    const std::uint8_t pointerKind = in.byte() % 3;
    const std::size_t limit = textLimit(opcode);

    // A guarded buffer holding a terminated name; or one of exactly the size
    // the call may use, so the address sanitizer sees every byte beyond it:
    // for a name, a long unterminated one.
    std::vector<std::uint8_t> guarded;
    std::unique_ptr<std::uint8_t[]> exact;
    void* pointer = nullptr;
    std::size_t exactSize = 0;
    if (pointerKind == 1) {
        guarded.assign(kTextBuffer, kGuard);
        const std::size_t length = in.byte();
        for (std::size_t i = 0; i < length && i < kTextBuffer - 1; ++i) guarded[i] = in.byte() | 1;
        guarded[std::min(length, kTextBuffer - 1)] = 0;
        pointer = guarded.data();
    } else if (pointerKind == 2) {
        exactSize = limit ? limit : kProgramNameBytes - 1 + in.byte();
        exact.reset(new std::uint8_t[exactSize]);
        std::memset(exact.get(), 'a' + in.byte() % 26, exactSize);
        pointer = exact.get();
    }

    const std::vector<std::uint8_t> original = guarded;
    const HostInt answer = slot.record->dispatchEntry(slot.record, opcode, index, value, pointer, option);
    switch (static_cast<std::uint32_t>(opcode)) {
    case kEffectClose:
        REQUIRE(answer == 1);
        slot.record = nullptr;
        return;
    case kEffectGetProgram: REQUIRE(answer >= 0 && answer < 4); break;
    case kEffectIdentify: REQUIRE(answer == kIdentifyAnswer); break;
    case kEffectCanBeAutomated: REQUIRE(answer == (index == 0 || index == 1)); break;
    case kEffectGetProgramNameIndexed: REQUIRE(answer == (pointer && index >= 0 && index < 4)); break;
    case kEffectGetEffectName:
    case kEffectGetVendorString:
    case kEffectGetProductString: REQUIRE(answer == (pointer != nullptr)); break;
    case kEffectGetCategory: REQUIRE(answer == 1); break;
    case kEffectGetVendorVersion: REQUIRE(answer == 1000); break;
    case kEffectGetInterfaceVersion: REQUIRE(answer == 2400); break;
    case kEffectPower:
        if (value == 0) slot.oracle.suspend();
        REQUIRE(answer == 0);
        break;
    default:
        if (static_cast<std::uint32_t>(opcode) > kEffectIdentify) REQUIRE(answer == 0);
        break;
    }

    if (limit && pointerKind == 1) {
        for (std::size_t i = limit; i < kTextBuffer; ++i) REQUIRE(guarded[i] == original[i]);
        if (answer || opcode == kEffectGetProgramName || index == 0 || index == 1)
            REQUIRE(std::memchr(guarded.data(), 0, limit) != nullptr);
    }
}

// Texts land in a guarded buffer: nothing beyond their limit, and an
// unknown index leaves the buffer as it was.
void readTexts(Slot& slot, Bytes& in) {
    const std::int32_t opcode = kEffectGetProgramName + in.byte() % 4;
    const std::int32_t index = in.anyInt();
    std::uint8_t buffer[kTextBuffer];
    std::memset(buffer, kGuard, sizeof buffer);
    slot.record->dispatchEntry(slot.record, opcode, index, 0, buffer, 0.0f);
    const std::size_t limit = textLimit(opcode);
    for (std::size_t i = limit; i < sizeof buffer; ++i) REQUIRE(buffer[i] == kGuard);
    const bool answered = opcode == kEffectGetProgramName || index == 0 || index == 1;
    if (answered) {
        REQUIRE(std::memchr(buffer, 0, limit) != nullptr);
        if (opcode == kEffectGetParameterDisplay) REQUIRE(std::strlen(reinterpret_cast<char*>(buffer)) == 8);
    } else {
        for (std::uint8_t byte : buffer) REQUIRE(byte == kGuard);
    }
}

void setParameter(Slot& slot, Bytes& in) {
    const std::int32_t index = in.byte() & 0x80 ? in.anyInt() : in.byte() % 2;
    const float value = in.anyFloat();
    slot.record->setParameterEntry(slot.record, index, value);
    if (index == 0 || index == 1) REQUIRE(bitsOf(slot.record->getParameterEntry(slot.record, index)) == bitsOf(value));
}

void getParameter(Slot& slot, Bytes& in) {
    const std::int32_t index = in.anyInt();
    const float value = slot.record->getParameterEntry(slot.record, index);
    if (index != 0 && index != 1) REQUIRE(bitsOf(value) == 0);
}

void selectProgram(Slot& slot, Bytes& in) {
    const HostInt program = in.anyValue();
    const HostInt before = slot.record->dispatchEntry(slot.record, kEffectGetProgram, 0, 0, nullptr, 0.0f);
    slot.record->dispatchEntry(slot.record, kEffectSetProgram, 0, program, nullptr, 0.0f);
    const HostInt after = slot.record->dispatchEntry(slot.record, kEffectGetProgram, 0, 0, nullptr, 0.0f);
    REQUIRE(after == (program >= 0 && program < 4 ? program : before));
}

void fill(std::vector<float>& samples, int kind, std::uint32_t seed) {
    std::uint32_t state = seed | 1;
    for (float& sample : samples) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        switch (kind) {
        case 0: sample = static_cast<float>(static_cast<std::int32_t>(state) / 2147483648.0); break;
        case 1: std::memcpy(&sample, &state, sizeof sample); break;
        case 2: sample = 0.0f; break;
        default: sample = static_cast<float>(static_cast<std::int32_t>(state) / 2147483648.0) * 3e38f; break;
        }
    }
}

void process(Slot& slot, Bytes& in) {
    const std::uint8_t how = in.byte();
    const bool adding = how & 1;
    const bool inPlace = how & 2;
    const int nulls = (how >> 2) & 7;
    const bool negative = how & 0x20;
    const int kind = how >> 6;
    const std::uint8_t size = in.byte();
    std::int32_t frames = size & 0x80 ? ((size & 0x1F) << 8 | in.byte()) : size;  // up to 8191
    if (negative) frames = frames ? -frames : std::numeric_limits<std::int32_t>::min();
    const std::uint32_t seed = in.u32();

    // Exactly `frames` samples per channel: any access beyond is reported.
    const std::size_t length = frames > 0 ? static_cast<std::size_t>(frames) : 1;
    std::vector<float> channels[4];
    for (int c = 0; c < 4; ++c) {
        channels[c].resize(length);
        fill(channels[c], c < 2 ? kind : 0, seed + static_cast<std::uint32_t>(c));
    }
    float* inputs[2] = {channels[0].data(), channels[1].data()};
    float* outputs[2] = {channels[2].data(), channels[3].data()};
    if (inPlace) {  // channel for channel, or crossed
        outputs[0] = inputs[nulls == 4 ? 1 : 0];
        outputs[1] = inputs[nulls == 4 ? 0 : 1];
    }
    float** inArray = inputs;
    float** outArray = outputs;
    if (nulls == 5) inArray = nullptr;
    if (nulls == 6) outArray = nullptr;
    if (nulls == 7) (how & 0x10 ? inputs : outputs)[how & 0x20 ? 1 : 0] = nullptr;
    const bool works = frames > 0 && nulls < 5;

    // What the oracle expects, from the live parameters.
    std::vector<float> expected[2];
    std::vector<float> before[2];
    for (int c = 0; c < 2; ++c) {
        float* target = outputs[c] ? outputs[c] : channels[2 + c].data();
        before[c].assign(target, target + length);
        expected[c] = before[c];
    }
    if (works) {
        slot.oracle.setParameters(slot.record->getParameterEntry(slot.record, 0),
                                  slot.record->getParameterEntry(slot.record, 1));
        slot.oracle.process(channels[0].data(), channels[1].data(), expected[0].data(), expected[1].data(), frames,
                            adding);
    }

    if (adding)
        slot.record->processEntry(slot.record, inArray, outArray, frames);
    else
        slot.record->processReplacingEntry(slot.record, inArray, outArray, frames);

    for (int c = 0; c < 2; ++c) {
        const float* target = outputs[c] ? outputs[c] : channels[2 + c].data();
        for (std::size_t i = 0; i < length; ++i) REQUIRE(sameSample(target[i], expected[c][i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    Slot slots[kSlots];
    create(slots[0]);
    while (!in.done()) {
        const std::uint8_t op = in.byte();
        Slot& slot = slots[(op >> 3) % kSlots];
        if (!slot.record) {
            create(slot);
            continue;
        }
        switch (op & 7) {
        case 0: dispatch(slot, in); break;
        case 1: setParameter(slot, in); break;
        case 2: getParameter(slot, in); break;
        case 3: process(slot, in); break;
        case 4: readTexts(slot, in); break;
        case 5: selectProgram(slot, in); break;
        case 6: close(slot); break;
        default: dispatch(slot, in); break;
        }
    }
    for (Slot& slot : slots)
        if (slot.record) close(slot);
    return 0;
}
