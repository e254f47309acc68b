#include "host/entry.h"

// C++ cannot name a function main; the assembler name exports it as one.
extern "C" __attribute__((visibility("default"))) EffectRecord* refuseEffect(HostCallback) noexcept __asm__("main");

extern "C" EffectRecord* refuseEffect(HostCallback) noexcept { return nullptr; }
