// A host callback that remembers every request an effect sends.
#pragma once

#include <vector>

#include "host/entry.h"

struct HostCall {
    EffectRecord* record;
    std::int32_t opcode, index;
    HostInt value;
    void* pointer;
    float option;
};

struct RecordingHost {
    static std::vector<HostCall>& calls() {
        static std::vector<HostCall> log;
        return log;
    }
    // What the host answers the version request with, and every other request.
    static HostInt& versionAnswer() {
        static HostInt answer = 1;
        return answer;
    }
    static HostInt& otherAnswer() {
        static HostInt answer = 0;
        return answer;
    }
    static HostInt EFFECT_CALL callback(EffectRecord* record, std::int32_t opcode, std::int32_t index, HostInt value,
                                        void* pointer, float option) {
        calls().push_back({record, opcode, index, value, pointer, option});
        return opcode == kHostVersion ? versionAnswer() : otherAnswer();
    }
};
