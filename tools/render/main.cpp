// crossfeed-render: a command-line plug-in host that crossfeeds audio files.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "loader/plugin_host.h"
#include "render/audio_files.h"
#include "render/options.h"
#include "render/response.h"

namespace {

constexpr char kTool[] = "crossfeed-render";

int fail(const std::string& subject, const std::string& reason) {
    std::fprintf(stderr, "%s: %s: %s\n", kTool, subject.c_str(), reason.c_str());
    return 1;
}

std::string defaultModulePath() {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) return "crossfeed.so";
    self.resize(static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + "crossfeed.so";
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> programNames(EffectInstance& effect) {
    std::vector<std::string> names;
    const int count = effect.record()->programCount;
    for (int program = 0; program < count; ++program) {
        effect.setProgram(program);
        names.push_back(effect.programName());
    }
    return names;
}

// -1 with a reason when `wanted` names no program.
int findProgram(const std::string& wanted, const std::vector<std::string>& names, std::string& error) {
    const int count = static_cast<int>(names.size());
    if (std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const long number = wanted.size() > 9 ? count : std::stol(wanted);
        if (number < count) return static_cast<int>(number);
        error = "there is no program " + wanted + " (the module has " + std::to_string(count) + ", from 0)";
        return -1;
    }
    for (int i = 0; i < count; ++i)
        if (names[static_cast<std::size_t>(i)] == wanted) return i;
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (lowered(names[static_cast<std::size_t>(i)]) != lowered(wanted)) continue;
        if (found >= 0) {
            error = "'" + wanted + "' matches more than one program";
            return -1;
        }
        found = i;
    }
    if (found < 0) error = "no program is called '" + wanted + "' (see --list)";
    return found;
}

int listPrograms(EffectInstance& effect) {
    const auto names = programNames(effect);
    const int parameters = effect.record()->parameterCount;
    for (std::size_t program = 0; program < names.size(); ++program) {
        effect.setProgram(static_cast<std::int32_t>(program));
        std::printf("%zu: %s\n", program, names[program].c_str());
        for (int parameter = 0; parameter < parameters; ++parameter) {
            std::printf("    %-12s %-9s %s\n", effect.parameterName(parameter).c_str(),
                        effect.parameterDisplay(parameter).c_str(), effect.parameterLabel(parameter).c_str());
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

class ProgressBar {
public:
    ProgressBar(const std::string& name, sf_count_t total, int sampleRate)
        : name_(name), total_(total),
          // Short files finish before a bar would be read.
          shown_(isatty(STDERR_FILENO) && total > 0 && total != SF_COUNT_MAX && total > 5 * sf_count_t(sampleRate)) {}
    ~ProgressBar() {
        if (shown_ && drawn_ >= 0) std::fprintf(stderr, "\r\033[K");
    }
    void update(sf_count_t done) {
        if (!shown_) return;
        const int percent = static_cast<int>(std::min<sf_count_t>(100, done * 100 / total_));
        if (percent == drawn_) return;
        drawn_ = percent;
        constexpr int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(width - filled), '.').c_str(), percent, name_.c_str());
        std::fflush(stderr);
    }

private:
    std::string name_;
    sf_count_t total_;
    bool shown_;
    int drawn_ = -1;
};

int render(const RenderOptions& options, const PluginModule& module, const std::string& modulePath) {
    const std::string& inputPath = options.input;
    const std::string& outputPath = options.output;
    if (inputPath == outputPath || sameFile(inputPath, outputPath))
        return fail(outputPath, "is the input file; choose another output name");
    InputFile input;
    std::string error;
    if (!input.open(inputPath, error)) return fail(inputPath, error);
    if (!options.force && fileExists(outputPath))
        return fail(outputPath, "already exists (use --force to replace it)");
    const SF_INFO& info = input.info();
    int format = 0;
    if (!chooseOutputFormat(outputPath, info.format, info.samplerate, format, error))
        return fail(outputPath, error);

    EffectInstance effect(module.instantiate());
    if (!effect) return fail(modulePath, "the module's main answered null");
    int program = -1;
    if (!options.program.empty()) {
        program = findProgram(options.program, programNames(effect), error);
        if (program < 0) return fail("--program", error);
    }

    const bool mono = info.channels == 1;
    if (mono)
        std::fprintf(stderr, "%s: %s is mono: feeding it to both channels and writing stereo\n", kTool,
                     inputPath.c_str());

    PendingOutput output;
    if (!output.create(outputPath, format, info.samplerate, error)) return fail(outputPath, error);

    const int block = options.block;
    effect.setSampleRate(static_cast<float>(info.samplerate));
    effect.setBlockSize(block);
    effect.power(true);
    if (program >= 0) effect.setProgram(program);
    if (options.level) effect.setParameter(0, *options.level);
    if (options.delay) effect.setParameter(1, *options.delay);

    const std::size_t frames = static_cast<std::size_t>(block);
    std::vector<float> interleaved(frames * 2), inL(frames), inR(frames), outL(frames), outR(frames);
    float* inputs[] = {inL.data(), inR.data()};
    float* outputs[] = {outL.data(), outR.data()};
    ProgressBar progress(inputPath, info.frames, info.samplerate);
    sf_count_t done = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(input.file(), interleaved.data(), block);
        if (got <= 0) break;
        const std::size_t count = static_cast<std::size_t>(got);
        if (mono) {
            std::copy_n(interleaved.data(), count, inL.data());
            std::copy_n(interleaved.data(), count, inR.data());
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                inL[i] = interleaved[2 * i];
                inR[i] = interleaved[2 * i + 1];
            }
        }
        effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(got));
        for (std::size_t i = 0; i < count; ++i) {
            interleaved[2 * i] = outL[i];
            interleaved[2 * i + 1] = outR[i];
        }
        if (sf_writef_float(output.file(), interleaved.data(), got) != got)
            return fail(outputPath, std::string("cannot write: ") + sf_strerror(output.file()));
        done += got;
        progress.update(done);
    }
    if (sf_error(input.file()) != SF_ERR_NO_ERROR)
        return fail(inputPath, std::string("cannot read: ") + sf_strerror(input.file()));
    effect.power(false);
    effect.close();
    if (!output.commit(options.force, error)) return fail(outputPath, error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s: %s\n", kTool, error.c_str());
        return 1;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string modulePath = options.module.empty() ? defaultModulePath() : options.module;
    auto module = PluginModule::load(modulePath, error);
    if (!module) return fail(modulePath, "cannot load the module: " + error);

    if (options.list) {
        EffectInstance effect(module->instantiate());
        if (!effect) return fail(modulePath, "the module's main answered null");
        return listPrograms(effect);
    }
    if (!options.response.empty()) {
        const auto responses = measureResponses(*module, error);
        if (responses.empty()) return fail(modulePath, error);
        if (!writeResponseCsv(options.response, responses, error)) return fail(options.response, error);
        return 0;
    }
    return render(options, *module, modulePath);
}
