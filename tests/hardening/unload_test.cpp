// Hosts that rescan or reload plug-ins load and unload a module file many
// times. Each of the plug-in files, loaded, used and unloaded 2,000
// times, must give back all the memory it took. This program loads them
// only here, so each unload really unmaps the file.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>
#include <lv2/core/lv2.h>
#include <malloc.h>

#if defined(CROSSFEED_CLAP)
#include <clap/clap.h>
#endif

#include <string>
#include <vector>

#include "loader/plugin_host.h"

namespace {

constexpr int kCycles = 2000;
// One leaked runtime pool a cycle came to 142 MB; the C library's own
// bookkeeping may keep a little.
constexpr long kAllowedGrowth = 64 * 1024;

struct Block {
    std::vector<float> left = std::vector<float>(256, 0.25f), right = std::vector<float>(256, -0.5f);
    std::vector<float> outLeft = std::vector<float>(256), outRight = std::vector<float>(256);
};

template <typename Function>
Function symbol(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

bool useVst(void* library) {
    auto main = symbol<ModuleMain>(library, "main");
    EffectInstance effect(main ? main(standardHostCallback) : nullptr);
    if (!effect) return false;
    Block block;
    float* in[2] = {block.left.data(), block.right.data()};
    float* out[2] = {block.outLeft.data(), block.outRight.data()};
    effect.processReplacing(in, out, 256);
    return effect.close() == 1;
}

bool useLv2(void* library) {
    auto entry = symbol<LV2_Descriptor_Function>(library, "lv2_descriptor");
    const LV2_Descriptor* descriptor = entry ? entry(0) : nullptr;
    LV2_Handle handle = descriptor ? descriptor->instantiate(descriptor, 48000.0, "/", nullptr) : nullptr;
    if (!handle) return false;
    Block block;
    float* ports[4] = {block.left.data(), block.right.data(), block.outLeft.data(), block.outRight.data()};
    for (std::uint32_t port = 0; port < 4; ++port) descriptor->connect_port(handle, port, ports[port]);
    descriptor->activate(handle);
    descriptor->run(handle, 256);
    descriptor->deactivate(handle);
    descriptor->cleanup(handle);
    return true;
}

bool useLadspa(void* library) {
    auto entry = symbol<LADSPA_Descriptor_Function>(library, "ladspa_descriptor");
    const LADSPA_Descriptor* descriptor = entry ? entry(0) : nullptr;
    LADSPA_Handle handle = descriptor ? descriptor->instantiate(descriptor, 48000) : nullptr;
    if (!handle) return false;
    Block block;
    float* ports[4] = {block.left.data(), block.right.data(), block.outLeft.data(), block.outRight.data()};
    for (unsigned long port = 0; port < 4; ++port) descriptor->connect_port(handle, port, ports[port]);
    descriptor->activate(handle);
    descriptor->run(handle, 256);
    descriptor->cleanup(handle);
    return true;
}

#if defined(CROSSFEED_CLAP)
bool useClap(void* library) {
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (!entry || !entry->init("unload test")) return false;
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_host_t host{CLAP_VERSION_INIT, nullptr, "unload test", "", "", "1",
                           [](const clap_host_t*, const char*) -> const void* { return nullptr; },
                           [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
    const clap_plugin_t* plugin = factory ? factory->create_plugin(factory, &host, "org.crossfeed.crossfeed") : nullptr;
    bool used = plugin && plugin->init(plugin) && plugin->activate(plugin, 48000.0, 1, 256);
    if (used) {
        Block block;
        float* in[2] = {block.left.data(), block.right.data()};
        float* out[2] = {block.outLeft.data(), block.outRight.data()};
        clap_audio_buffer_t input{in, nullptr, 2, 0, 0}, output{out, nullptr, 2, 0, 0};
        const clap_process_t process{-1, 256, nullptr, &input, &output, 1, 1, nullptr, nullptr};
        used = plugin->process(plugin, &process) == CLAP_PROCESS_CONTINUE;
        plugin->deactivate(plugin);
    }
    if (plugin) plugin->destroy(plugin);
    entry->deinit();
    return used;
}
#endif

struct PlugIn {
    const char* name;
    const char* path;
    bool (*use)(void* library);
};

const PlugIn kPlugIns[] = {
    {"VST module", CROSSFEED_MODULE, useVst},
    {"LV2 plug-in", CROSSFEED_LV2_BINARY, useLv2},
    {"LADSPA plug-in", CROSSFEED_LADSPA_BINARY, useLadspa},
#if defined(CROSSFEED_CLAP)
    {"CLAP plug-in", CROSSFEED_CLAP, useClap},
#endif
};

// Loads, uses and unloads the file; false if any step failed.
bool cycle(const PlugIn& plugIn) {
    void* library = dlopen(plugIn.path, RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    const bool used = plugIn.use(library);
    return dlclose(library) == 0 && used;
}

std::string lastError() {
    const char* error = dlerror();
    return error ? error : "";
}

long heapInUse() { return static_cast<long>(mallinfo2().uordblks); }

TEST(Unload, EachPlugInGivesBackAllItsMemory) {
#if !UNLOAD_MEASURES_HEAP
    GTEST_SKIP() << "the sanitizer runtime owns the heap here; its leak check covers these files";
#endif
    for (const PlugIn& plugIn : kPlugIns) {
        // The first cycles may grow the C library's own tables.
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(cycle(plugIn)) << plugIn.name << ": " << lastError();
        const long before = heapInUse();
        int failed = 0;
        for (int i = 0; i < kCycles; ++i) failed += !cycle(plugIn);
        const long growth = heapInUse() - before;
        EXPECT_EQ(failed, 0) << plugIn.name;
        EXPECT_LT(growth, kAllowedGrowth) << plugIn.name << ": " << growth << " bytes kept after " << kCycles
                                          << " loads and unloads";
        EXPECT_EQ(dlopen(plugIn.path, RTLD_NOW | RTLD_NOLOAD), nullptr) << plugIn.name << " stayed loaded";
    }
}

}  // namespace
