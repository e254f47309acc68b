#include "support/module_under_test.h"

#include <cstdlib>
#include <iostream>

PluginModule& moduleUnderTest() {
    static std::unique_ptr<PluginModule> module = [] {
        std::string error;
        auto loaded = PluginModule::load(CROSSFEED_MODULE, error);
        if (!loaded) {
            std::cerr << "cannot load " << CROSSFEED_MODULE << ": " << error << "\n";
            std::abort();
        }
        return loaded;
    }();
    return *module;
}

EffectInstance newEffect() { return EffectInstance(moduleUnderTest().instantiate()); }
