// The module's binary interface: the host callback, the host-visible record
// and the exported entry. Hosts and our own test host include this too.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define EFFECT_CALL __cdecl
#else
#define EFFECT_CALL
#endif

// The dispatcher's `value` argument and result, the host callback's and the
// two reserved record fields are pointer-sized: int32 on 32-bit targets.
using HostInt = std::intptr_t;

struct EffectRecord;

using HostCallback = HostInt(EFFECT_CALL*)(EffectRecord* record, std::int32_t opcode, std::int32_t index,
                                           HostInt value, void* pointer, float option);
using DispatchEntry = HostInt(EFFECT_CALL*)(EffectRecord* record, std::int32_t opcode, std::int32_t index,
                                            HostInt value, void* pointer, float option);
using ProcessEntry = void(EFFECT_CALL*)(EffectRecord* record, float** inputs, float** outputs,
                                        std::int32_t frames);
using SetParameterEntry = void(EFFECT_CALL*)(EffectRecord* record, std::int32_t index, float value);
using GetParameterEntry = float(EFFECT_CALL*)(EffectRecord* record, std::int32_t index);

constexpr std::int32_t fourCharCode(char a, char b, char c, char d) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr std::int32_t kEffectMagic = fourCharCode('V', 's', 't', 'P');

struct EffectRecord {
    std::int32_t magic;
    DispatchEntry dispatchEntry;
    ProcessEntry processEntry;  // adding mode
    SetParameterEntry setParameterEntry;
    GetParameterEntry getParameterEntry;
    std::int32_t programCount;
    std::int32_t parameterCount;
    std::int32_t inputCount;
    std::int32_t outputCount;
    std::int32_t flags;
    HostInt reserved1;
    HostInt reserved2;
    std::int32_t initialDelay;
    std::int32_t realtimeQualities;
    std::int32_t offlineQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueId;
    std::int32_t version;
    ProcessEntry processReplacingEntry;
    char future[60];
};

// Hosts read this record by offset; any drift breaks every host.
#define EFFECT_RECORD_OFFSET(field, off32, off64) \
    static_assert(offsetof(EffectRecord, field) == (sizeof(void*) == 4 ? (off32) : (off64)), #field)
EFFECT_RECORD_OFFSET(magic, 0, 0);
EFFECT_RECORD_OFFSET(dispatchEntry, 4, 8);
EFFECT_RECORD_OFFSET(processEntry, 8, 16);
EFFECT_RECORD_OFFSET(setParameterEntry, 12, 24);
EFFECT_RECORD_OFFSET(getParameterEntry, 16, 32);
EFFECT_RECORD_OFFSET(programCount, 20, 40);
EFFECT_RECORD_OFFSET(parameterCount, 24, 44);
EFFECT_RECORD_OFFSET(inputCount, 28, 48);
EFFECT_RECORD_OFFSET(outputCount, 32, 52);
EFFECT_RECORD_OFFSET(flags, 36, 56);
EFFECT_RECORD_OFFSET(reserved1, 40, 64);
EFFECT_RECORD_OFFSET(reserved2, 44, 72);
EFFECT_RECORD_OFFSET(initialDelay, 48, 80);
EFFECT_RECORD_OFFSET(realtimeQualities, 52, 84);
EFFECT_RECORD_OFFSET(offlineQualities, 56, 88);
EFFECT_RECORD_OFFSET(ioRatio, 60, 92);
EFFECT_RECORD_OFFSET(object, 64, 96);
EFFECT_RECORD_OFFSET(user, 68, 104);
EFFECT_RECORD_OFFSET(uniqueId, 72, 112);
EFFECT_RECORD_OFFSET(version, 76, 116);
EFFECT_RECORD_OFFSET(processReplacingEntry, 80, 120);
EFFECT_RECORD_OFFSET(future, 84, 128);
#undef EFFECT_RECORD_OFFSET
static_assert(sizeof(EffectRecord) == (sizeof(void*) == 4 ? 144 : 192), "EffectRecord size");
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "only 32- and 64-bit targets are laid out");

// Record flag bits.
constexpr std::int32_t kFlagClip = 0x02;
constexpr std::int32_t kFlagVu = 0x04;
constexpr std::int32_t kFlagMono = 0x08;
constexpr std::int32_t kFlagReplacing = 0x10;

// Host callback opcodes the framework sends.
enum HostOpcode : std::int32_t {
    kHostAutomate = 0,
    kHostVersion = 1,
    kHostCurrentId = 2,
    kHostIdle = 3,
    kHostPinConnected = 4,
};

// Dispatcher opcodes.
enum EffectOpcode : std::int32_t {
    kEffectOpen = 0,
    kEffectClose = 1,
    kEffectSetProgram = 2,
    kEffectGetProgram = 3,
    kEffectSetProgramName = 4,
    kEffectGetProgramName = 5,
    kEffectGetParameterLabel = 6,
    kEffectGetParameterDisplay = 7,
    kEffectGetParameterName = 8,
    kEffectGetVu = 9,
    kEffectSetSampleRate = 10,
    kEffectSetBlockSize = 11,
    kEffectPower = 12,
    kEditorGetRect = 13,
    kEditorOpen = 14,
    kEditorClose = 15,
    kEditorIdle = 19,
    kEffectIdentify = 22,
    // Asked by hosts of later interface versions.
    kEffectCanBeAutomated = 26,
    kEffectGetProgramNameIndexed = 29,
    kEffectGetCategory = 35,
    kEffectGetEffectName = 45,
    kEffectGetVendorString = 47,
    kEffectGetProductString = 48,
    kEffectGetVendorVersion = 49,
    kEffectGetInterfaceVersion = 58,
};

constexpr HostInt kIdentifyAnswer = fourCharCode('N', 'v', 'E', 'f');

// Text buffer limits a host can rely on.
constexpr std::size_t kProgramNameBytes = 32;
constexpr std::size_t kParameterTextBytes = 12;
// Effect, vendor and product names.
constexpr std::size_t kIdentityTextBytes = 32;

class EffectBase;

// Defined by the module's one effect: builds it for `main`, or answers null
// when it cannot be made whole.
EffectBase* createEffect(HostCallback host) noexcept;

