// Prints the version a plug-in file states, as a host asks for it: the VST
// vendor version of a module, the descriptor's version of a .clap file.
//   version_probe MODULE|FILE.clap
#include <dlfcn.h>

#include <clap/clap.h>

#include <cstdio>
#include <string>

#include "loader/plugin_host.h"

namespace {

int printClapVersion(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    const auto* entry = library ? static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry")) : nullptr;
    if (!entry || !entry->init(path)) {
        std::fprintf(stderr, "version_probe: %s: no CLAP entry\n", path);
        return 1;
    }
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_descriptor_t* descriptor = factory ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    if (descriptor) std::printf("%s\n", descriptor->version);
    entry->deinit();
    return descriptor ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: version_probe MODULE|FILE.clap\n");
        return 2;
    }
    const std::string path = argv[1];
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".clap") == 0) return printClapVersion(argv[1]);
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
