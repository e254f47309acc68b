#include "host/entry.h"

#include "host/effect_base.h"
#include "host/float_environment.h"

#if defined(_WIN32)
#include <windows.h>

// Nothing to set up or tear down beyond the runtime's own work.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#define MODULE_EXPORT
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

// Exported as `main`: by the .def file on Windows, by its assembler name
// elsewhere. It cannot be called main in C++.
extern "C" MODULE_EXPORT EffectRecord* EFFECT_CALL moduleMain(HostCallback host) noexcept
#if !defined(_WIN32)
    __asm__("main")
#endif
    ;

extern "C" EffectRecord* EFFECT_CALL moduleMain(HostCallback host) noexcept {
    if (!host) return nullptr;
    const ModuleFloatEnvironment environment;
    if (host(nullptr, kHostVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    EffectBase* effect = createEffect(host);
    return effect ? effect->getRecord() : nullptr;
}
