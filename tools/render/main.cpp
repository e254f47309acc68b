// crossfeed-render: a command-line plug-in host that crossfeeds audio files.
#include <algorithm>
#include <cstring>
#include <string>

#include "loader/plugin_host.h"
#include "render/console.h"
#include "render/module_info.h"
#include "render/options.h"
#include "render/render.h"
#include "render/response.h"
#include "render/signal_cleanup.h"
#include "render/sink.h"

#ifndef CROSSFEED_VERSION
#define CROSSFEED_VERSION "unknown"
#endif

namespace {

// The program every file gets, and the note its tags carry; 1 on failure.
int planSettings(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 Settings& settings) {
    std::string error;
    EffectInstance effect(openEffect(module, error));
    if (!effect) return fail(modulePath, error);
    const auto names = programNames(effect);
    if (!options.program.empty()) {
        settings.program = findProgram(options.program, names, error);
        if (settings.program < 0) return fail("--program", error);
    }
    const std::size_t program = std::size_t(std::max(settings.program, 0));
    settings.note = std::string(kTool) + " " + CROSSFEED_VERSION + ": crossfeed program \"" +
                    (program < names.size() ? names[program] : "?") + "\"";
    if (options.level) settings.note += ", level " + options.levelText + " %";
    if (options.delay) settings.note += ", delay " + options.delayText + " ms";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Console::get().catchLibraryLines();
    RenderOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        Console::get().message(error);
        return 1;
    }
    if (options.help) return writeAll(standardOutput(), kUsage, std::strlen(kUsage)) ? 0 : 1;
    watchSignals();
    const std::string modulePath = options.module.empty() ? defaultModulePath() : options.module;
    auto module = PluginModule::load(modulePath, error);
    if (!module) return fail(modulePath, "cannot load the module: " + error);

    if (options.version) return printVersion(*module, modulePath);
    if (options.list) {
        EffectInstance effect(module->instantiateChecked(error));
        if (!effect) return fail(modulePath, error);
        return listPrograms(effect);
    }
    if (!options.response.empty()) return writeResponse(options, *module, modulePath);

    Settings settings;
    if (planSettings(options, *module, modulePath, settings) != 0) return 1;
    if (!options.directory.empty()) return renderFolder(options, *module, modulePath, settings);
    return renderFile(options, *module, modulePath, settings, options.inputs[0], options.output);
}
