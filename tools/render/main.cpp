// crossfeed-render: a command-line plug-in host that crossfeeds audio files.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loader/plugin_host.h"
#include "render/audio_files.h"
#include "render/options.h"
#include "render/response.h"
#include "render/tags.h"

#ifndef CROSSFEED_VERSION
#define CROSSFEED_VERSION "unknown"
#endif

namespace {

constexpr char kTool[] = "crossfeed-render";

// Every line on standard error goes through here, so that progress lines
// on a terminal are redrawn below it rather than mixed into it.
class Console {
public:
    static Console& get() {
        static Console console;
        return console;
    }
    void message(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        clear();
        std::fprintf(stderr, "%s: %s\n", kTool, line.c_str());
        draw();
    }
    bool terminal() const { return terminal_; }
    int open(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        clear();
        lines_.push_back({name, -1, true});
        draw();
        return int(lines_.size()) - 1;
    }
    void update(int line, int percent) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_[std::size_t(line)].percent == percent) return;
        lines_[std::size_t(line)].percent = percent;
        clear();
        draw();
    }
    void close(int line) {
        std::lock_guard<std::mutex> lock(mutex_);
        clear();
        lines_[std::size_t(line)].shown = false;
        draw();
    }

private:
    struct Line {
        std::string name;
        int percent;
        bool shown;
    };
    Console() : terminal_(isatty(STDERR_FILENO)) {}
    void clear() {
        for (; drawn_ > 0; --drawn_) std::fputs("\033[1A\r\033[K", stderr);
    }
    void draw() {
        if (!terminal_) return;
        for (const Line& line : lines_) {
            if (!line.shown || line.percent < 0) continue;
            constexpr int width = 30;
            const int filled = line.percent * width / 100;
            std::fprintf(stderr, "[%s%s] %3d%%  %s\n", std::string(std::size_t(filled), '#').c_str(),
                         std::string(std::size_t(width - filled), '.').c_str(), line.percent, line.name.c_str());
            ++drawn_;
        }
        std::fflush(stderr);
    }
    std::mutex mutex_;
    bool terminal_;
    std::vector<Line> lines_;
    int drawn_ = 0;
};

int fail(const std::string& subject, const std::string& reason) {
    Console::get().message(subject + ": " + reason);
    return 1;
}

std::string selfDirectory() {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) return "./";
    self.resize(static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1);
}

// Beside the program in dist/; once installed, in ../lib/lxvst/, the folder
// where Linux VST hosts look too, so one file serves both.
std::string defaultModulePath() {
    const std::string directory = selfDirectory();
    const std::string beside = directory + "crossfeed.so";
    if (access(beside.c_str(), F_OK) == 0) return beside;
    const std::string installed = directory + "../lib/lxvst/crossfeed.so";
    if (access(installed.c_str(), F_OK) == 0) return installed;
    return beside;
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

std::string effectText(EffectInstance& effect, std::int32_t opcode) {
    char buffer[256] = {};  // far more than the 32 bytes these texts may take
    effect.dispatch(opcode, 0, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

int printVersion(const PluginModule& module, const std::string& modulePath) {
    std::printf("%s %s\n", kTool, CROSSFEED_VERSION);
    EffectInstance effect(module.instantiate());
    if (!effect) return fail(modulePath, "the module's main answered null");
    const HostInt version = effect.dispatch(kEffectGetVendorVersion);
    std::string product = effectText(effect, kEffectGetProductString);
    if (product.empty()) product = effectText(effect, kEffectGetEffectName);
    const std::string vendor = effectText(effect, kEffectGetVendorString);
    std::string numbered = "unknown";
    // Hosts read 1000 as 1.0.0.
    if (version > 0 && version < 10000)
        numbered = std::to_string(version / 1000) + "." + std::to_string(version / 100 % 10) + "." +
                   std::to_string(version / 10 % 10) + " (" + std::to_string(version) + ")";
    else if (version != 0)
        numbered = std::to_string(version);
    std::printf("module %s: %s%s%s, version %s\n", modulePath.c_str(), product.empty() ? "unnamed" : product.c_str(),
                vendor.empty() ? "" : " by ", vendor.c_str(), numbered.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int writeResponse(const RenderOptions& options, const PluginModule& module, const std::string& modulePath) {
    std::string error, target;
    const std::string& path = options.response;
    if (path != "-" && !checkOutputTarget(path, options.force, target, error)) return fail(path, error);
    const auto responses = measureResponses(module, error);
    if (responses.empty()) return fail(modulePath, error);
    if (path == "-") {
        if (!writeResponseCsv("/dev/stdout", responses, error)) return fail("standard output", error);
        return 0;
    }
    // Through a temporary name beside it, like audio output.
    const std::string directory = target.rfind('/') == std::string::npos ? "." : target.substr(0, target.rfind('/'));
    const std::string base = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::string temporary = directory + "/." + base + ".part-XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) return fail(path, "cannot create a file in " + directory);
    close(descriptor);
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temporary.c_str(), 0666 & ~mask);
    if (!writeResponseCsv(temporary, responses, error)) {
        unlink(temporary.c_str());
        return fail(path, error);
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return fail(path, "cannot rename into place");
    }
    return 0;
}

struct Settings {
    int program = -1;
    std::string note;  // what the output's tags say was done
};

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

// Renders one file; prints its own failure line. `outputPath` may be "-".
int renderFile(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
               const Settings& settings, const std::string& inputPath, const std::string& outputPath) {
    const std::string shownOutput = outputPath == "-" ? "standard output" : outputPath;
    if (inputPath != "-" && outputPath != "-" && (inputPath == outputPath || sameFile(inputPath, outputPath)))
        return fail(outputPath, "is the input file; choose another output name");
    std::string error, target = outputPath;
    if (outputPath != "-") {
        if (!checkOutputTarget(outputPath, options.force, target, error)) return fail(outputPath, error);
        for (const auto& stale : staleTemporaries(target))
            Console::get().message(stale + ": left by an earlier run that did not finish; remove it if unwanted");
    }
    InputFile input;
    if (!input.open(inputPath, error)) return fail(displayName(inputPath), error);
    const SF_INFO& info = input.info();
    const std::string extension = outputPath == "-" || (!options.directory.empty() && !options.type.empty())
                                      ? lowered(options.type)
                                      : extensionOf(outputPath);
    int format = 0;
    if (!chooseOutputFormat(extension, info.format, info.samplerate, options.bits, format, error))
        return fail(shownOutput, error);
    if (options.quality && !isLossy(format))
        return fail(shownOutput, "--quality applies only to lossy output (MP3, Vorbis, Opus), not " + formatName(format));
    if (options.dither && !(isInteger(format) && integerBits(format) <= 16))
        return fail(shownOutput, "--dither applies only to output of 16 bits or fewer, not " + formatName(format));

    EffectInstance effect(module.instantiate());
    if (!effect) return fail(modulePath, "the module's main answered null");
    const bool mono = info.channels == 1;
    if (mono)
        Console::get().message(displayName(inputPath) + " is mono: feeding it to both channels and writing stereo");

    PendingOutput output;
    if (!output.create(target, format, info.samplerate, error)) return fail(shownOutput, error);
    if (options.quality) {
        double level = 1.0 - *options.quality / 10.0;
        sf_command(output.file(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }

    const int block = options.block;
    effect.setSampleRate(static_cast<float>(info.samplerate));
    effect.setBlockSize(block);
    effect.power(true);
    if (settings.program >= 0) effect.setProgram(settings.program);
    if (options.level) effect.setParameter(0, *options.level);
    if (options.delay) effect.setParameter(1, *options.delay);

    // Large reads and writes around the module's block-sized calls.
    const std::size_t blocks = std::max<std::size_t>(1, 16384 / std::size_t(block));
    const std::size_t chunk = blocks * std::size_t(block);
    std::vector<float> inL(chunk), inR(chunk), outL(chunk), outR(chunk);
    SampleReader reader(input.file(), info);
    SampleWriter writer(output.file(), format, options.dither);
    const bool progress = Console::get().terminal() && info.frames > 5 * sf_count_t(info.samplerate) &&
                          info.frames != SF_COUNT_MAX;
    const int line = progress ? Console::get().open(displayName(inputPath)) : -1;
    struct CloseLine {
        int line;
        ~CloseLine() {
            if (line >= 0) Console::get().close(line);
        }
    } closeLine{line};
    sf_count_t done = 0;
    for (;;) {
        const sf_count_t got = reader.read(inL.data(), inR.data(), sf_count_t(chunk));
        if (got <= 0) break;
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t start = 0; start < count; start += std::size_t(block)) {
            const std::size_t frames = std::min(std::size_t(block), count - start);
            float* inputs[] = {inL.data() + start, inR.data() + start};
            float* outputs[] = {outL.data() + start, outR.data() + start};
            effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(frames));
        }
        if (!writer.write(outL.data(), outR.data(), got))
            return fail(shownOutput, std::string("cannot write: ") + sf_strerror(output.file()));
        done += got;
        if (line >= 0) Console::get().update(line, int(std::min<sf_count_t>(100, done * 100 / info.frames)));
    }
    effect.power(false);
    effect.close();

    // An input that ends early or breaks off is a failure, whatever was read.
    std::string shortfall;
    const bool known = info.frames > 0 && info.frames != SF_COUNT_MAX && inputPath != "-";
    if (sf_error(input.file()) != SF_ERR_NO_ERROR)
        shortfall = std::string("cannot read past frame ") + std::to_string(done) + ": " + sf_strerror(input.file());
    else if (input.promisedFrames() > done)
        shortfall = "ends after " + std::to_string(done) + " frames; its header promises " +
                    std::to_string(input.promisedFrames());
    else if (known && done < info.frames)
        shortfall = "ends after " + std::to_string(done) + " of the " + std::to_string(info.frames) + " frames it declares";
    if (!shortfall.empty() && !options.keepPartial) {
        output.discard();
        return fail(displayName(inputPath), shortfall + "; nothing written (--keep-partial keeps what was read)");
    }
    if (!output.finish(error)) return fail(shownOutput, error);
    if (outputPath != "-" && !copyTags(inputPath, output.temporary(), format, settings.note, error))
        return fail(shownOutput, error);
    if (!output.commit(options.force, error)) return fail(shownOutput, error);
    if (writer.clipped() > 0)
        Console::get().message(shownOutput + ": " + std::to_string(writer.clipped()) +
                               " samples clipped at full scale");
    if (!shortfall.empty()) return fail(displayName(inputPath), shortfall + "; kept what was read in " + shownOutput);
    return 0;
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int renderFolder(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 const Settings& settings) {
    const std::string& directory = options.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (!std::filesystem::is_directory(directory))
        return fail(directory, "cannot create it as a directory" + (failure ? ": " + failure.message() : std::string()));
    std::vector<std::string> outputs;
    for (const auto& input : options.inputs) {
        std::string name = baseName(input);
        if (!options.type.empty()) {
            const auto dot = name.rfind('.');
            name = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + "." + options.type;
        }
        outputs.push_back(directory + "/" + name);
    }
    // Two inputs of one name would race for one output.
    for (std::size_t i = 0; i < outputs.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (outputs[i] == outputs[j])
                return fail(options.inputs[i], "has the same name as " + options.inputs[j] + " in " + directory);

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = std::min<std::size_t>(options.jobs ? std::size_t(options.jobs) : cores, outputs.size());
    std::atomic<std::size_t> next{0};
    std::atomic<int> failed{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < outputs.size();)
            if (renderFile(options, module, modulePath, settings, options.inputs[i], outputs[i]) != 0) ++failed;
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < jobs; ++t) threads.emplace_back(work);
    work();
    for (auto& thread : threads) thread.join();
    const std::size_t total = outputs.size();
    Console::get().message(std::to_string(total - std::size_t(failed)) + " of " + std::to_string(total) +
                           " files rendered into " + directory +
                           (failed ? ", " + std::to_string(failed) + " failed" : std::string()));
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        Console::get().message(error);
        return 1;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    watchSignals();
    const std::string modulePath = options.module.empty() ? defaultModulePath() : options.module;
    auto module = PluginModule::load(modulePath, error);
    if (!module) return fail(modulePath, "cannot load the module: " + error);

    if (options.version) return printVersion(*module, modulePath);
    if (options.list) {
        EffectInstance effect(module->instantiate());
        if (!effect) return fail(modulePath, "the module's main answered null");
        return listPrograms(effect);
    }
    if (!options.response.empty()) return writeResponse(options, *module, modulePath);

    Settings settings;
    {
        EffectInstance effect(module->instantiate());
        if (!effect) return fail(modulePath, "the module's main answered null");
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
    }
    if (!options.directory.empty()) return renderFolder(options, *module, modulePath, settings);
    return renderFile(options, *module, modulePath, settings, options.inputs[0], options.output);
}
