#include "render/render.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "render/console.h"
#include "render/formats.h"
#include "render/input.h"
#include "render/output.h"
#include "render/paths.h"
#include "render/samples.h"
#include "render/tags.h"

namespace {

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

}  // namespace

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

int renderFolder(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 const Settings& settings) {
    const std::string& directory = options.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (!std::filesystem::is_directory(directory))
        return fail(directory, "cannot create it as a directory" + (failure ? ": " + failure.message() : std::string()));
    std::vector<std::string> outputs;
    for (const auto& input : options.inputs) {
        std::string name = baseOf(input);
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

