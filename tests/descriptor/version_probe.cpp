// Prints the VST vendor version a module answers, as a host asks for it.
//   version_probe MODULE
#include <cstdio>
#include <string>

#include "loader/plugin_host.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: version_probe MODULE\n");
        return 2;
    }
    std::string error;
    const auto module = PluginModule::load(argv[1], error);
    if (!module) {
        std::fprintf(stderr, "version_probe: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    EffectInstance effect(module->instantiate());
    if (!effect) {
        std::fprintf(stderr, "version_probe: %s made no effect\n", argv[1]);
        return 1;
    }
    std::printf("%ld\n", static_cast<long>(effect.dispatch(kEffectGetVendorVersion)));
    return 0;
}
