// An effect made in the test program itself, with a kernel set of the
// test's choice, driven through its record like the module's: so the ring
// and chunk logic runs with every kernel, not only the one this processor
// would pick.
#pragma once

#include "crossfeed/crossfeed_effect.h"
#include "loader/plugin_host.h"

class CrossfeedKernelOverride {
public:
    static EffectInstance effectWith(const CrossfeedKernels& kernels) {
        auto* effect = static_cast<CrossfeedEffect*>(createEffect(standardHostCallback));
        if (!effect) return EffectInstance(nullptr);
        effect->kernels = kernels;
        return EffectInstance(effect->getRecord());
    }
};
