// crossfeed-render: a command-line plug-in host that crossfeeds audio files.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "crossfeed/descriptor.h"
#include "loader/plugin_host.h"
#include "render/console.h"
#include "render/module_info.h"
#include "render/options.h"
#include "render/render.h"
#include "render/response.h"
#include "render/signal_cleanup.h"
#include "render/sink.h"

namespace {

// The program every file gets, and what its tags say; 1 on failure.
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
    settings.programName = program < names.size() ? names[program] : "?";
    effect.setProgram(std::int32_t(program));
    if (options.level) {
        effect.setParameter(crossfeed::kLevelParameter, *options.level);
        settings.levelChange = ", level " + options.levelText + " %";
    }
    if (options.delay) effect.setParameter(crossfeed::kDelayParameter, *options.delay);
    settings.delaySamples = crossDelaySamples(effect);
    settings.delayShown = effect.parameterDisplay(crossfeed::kDelayParameter);
    settings.delayShown.erase(0, settings.delayShown.find_first_not_of(' '));
    return 0;
}

// A closed standard descriptor would be the number of the next file opened,
// and be taken for it (standard output for the input file, say). /dev/null
// holds its place; a closed standard output stays one that cannot be written.
void holdClosedStandardDescriptors() {
    const bool outputClosed = fcntl(STDOUT_FILENO, F_GETFD) < 0;
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) >= 0) continue;
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != descriptor) {
            dup2(null, descriptor);
            close(null);
        }
    }
    if (outputClosed) keepStandardOutput(-1);
}

}  // namespace

int main(int argc, char** argv) {
    holdClosedStandardDescriptors();
    Console::get().catchLibraryLines();
    RenderOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        Console::get().message(error);
        return 1;
    }
    if (options.help) return printOut(usageText());
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
