#include "render/render.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "render/console.h"
#include "render/formats.h"
#include "render/input.h"
#include "render/module_info.h"
#include "render/output.h"
#include "render/paths.h"
#include "render/samples.h"
#include "render/sink.h"
#include "render/tags.h"

namespace {

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

bool refuse(const std::string& subject, const std::string& reason) {
    fail(subject, reason);
    return false;
}

// A progress line on a terminal for as long as it lives.
class Progress {
public:
    Progress(const std::string& name, std::uint64_t frames, int rate)
        : frames_(frames),
          line_(Console::get().terminal() && frames != kUnknownFrames && frames > 5 * std::uint64_t(rate)
                    ? Console::get().open(name)
                    : -1) {}
    ~Progress() {
        if (line_ >= 0) Console::get().close(line_);
    }
    void update(sf_count_t done) {
        if (line_ < 0) return;
        Console::get().update(line_, int(std::min<std::uint64_t>(100, std::uint64_t(done) * 100 / frames_)));
    }

private:
    std::uint64_t frames_;
    int line_;
};

// One input rendered into one output. Each step prints its own failure line
// and answers false; nothing reaches OUTPUT unless every step succeeds.
class FileRender {
public:
    FileRender(const RenderOptions& options, const Settings& settings, const std::string& inputPath,
               const std::string& outputPath)
        : options_(options), settings_(settings), inputPath_(inputPath), outputPath_(outputPath),
          shownInput_(displayName(inputPath)), shownOutput_(outputPath == "-" ? "standard output" : outputPath),
          target_(outputPath) {}
    ~FileRender() {
        if (reading_) Console::get().reading(shownInput_, false);
    }

    bool checkPaths();
    bool openInput();
    bool chooseFormat();
    bool openOutput();
    void startEffect(EffectInstance& effect) const;
    bool process(EffectInstance& effect, sf_count_t& done);
    int finish(sf_count_t done);

private:
    bool copyTags();
    void reportChanged() const;
    const RenderOptions& options_;
    const Settings& settings_;
    const std::string inputPath_, outputPath_, shownInput_, shownOutput_;
    std::string target_;
    InputFile input_;
    int format_ = 0;
    OutputSize size_;
    PendingOutput output_;
    std::uint64_t clipped_ = 0, notNumbers_ = 0;
    bool reading_ = false;
};

bool FileRender::checkPaths() {
    if (inputPath_ != "-" && outputPath_ != "-" && (inputPath_ == outputPath_ || sameFile(inputPath_, outputPath_)))
        return refuse(outputPath_, "is the input file; choose another output name");
    if (outputPath_ == "-") return true;
    std::string error;
    if (!checkOutputTarget(outputPath_, options_.force, target_, error)) return refuse(outputPath_, error);
    for (const auto& stale : staleTemporaries(target_))
        Console::get().message(stale + ": left by an earlier run that did not finish; remove it if unwanted");
    return true;
}

bool FileRender::openInput() {
    // What the decoders print while this file is read is said to be of it.
    Console::get().reading(shownInput_, true);
    reading_ = true;
    std::string error;
    if (!input_.open(inputPath_, error)) return refuse(shownInput_, error);
    // Appending to the file being read would read what was written.
    if (outputPath_ == "-" && input_.sameAs(standardOutput()))
        return refuse(shownOutput_, "is the input file; choose another output");
    return true;
}

bool FileRender::chooseFormat() {
    const SF_INFO& info = input_.info();
    const std::string extension = outputPath_ == "-" || (!options_.directory.empty() && !options_.type.empty())
                                      ? lowered(options_.type)
                                      : extensionOf(outputPath_);
    std::string error;
    if (!chooseOutputFormat(extension, info.format, info.samplerate, options_.bits, format_, error))
        return refuse(shownOutput_, error);
    if (options_.quality && !isLossy(format_))
        return refuse(shownOutput_, "--quality applies only to lossy output (MP3, Vorbis, Opus), not " +
                                      formatName(format_));
    if (options_.dither && !(isInteger(format_) && integerBits(format_) <= 16))
        return refuse(shownOutput_, "--dither applies only to output of 16 bits or fewer, not " + formatName(format_));
    const int chosen = format_;
    if (!planOutputSize(format_, input_.expectedFrames(), info.samplerate, size_, error))
        return refuse(shownOutput_, error);
    if ((chosen & SF_FORMAT_TYPEMASK) != SF_FORMAT_RF64 && (format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64 &&
        !size_.downgrade)
        Console::get().message(shownOutput_ + ": more than 4 GiB of audio: writing RF64, as WAV cannot hold it");
    return true;
}

bool FileRender::openOutput() {
    if (input_.info().channels == 1)
        Console::get().message(shownInput_ + " is mono: feeding it to both channels and writing stereo");
    std::string error;
    if (!output_.create(target_, format_, input_.info().samplerate, size_, error))
        return refuse(shownOutput_, error);
    if (options_.quality) {
        double level = 1.0 - *options_.quality / 10.0;
        sf_command(output_.file(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }
    return true;
}

void FileRender::startEffect(EffectInstance& effect) const {
    effect.setSampleRate(static_cast<float>(input_.info().samplerate));
    effect.setBlockSize(options_.block);
    effect.power(true);
    if (settings_.program >= 0) effect.setProgram(settings_.program);
    if (options_.level) effect.setParameter(0, *options_.level);
    if (options_.delay) effect.setParameter(1, *options_.delay);
}

bool FileRender::process(EffectInstance& effect, sf_count_t& done) {
    // Large reads and writes around the module's block-sized calls.
    const std::size_t block = std::size_t(options_.block);
    const std::size_t chunk = std::max<std::size_t>(1, 16384 / block) * block;
    std::vector<float> inL(chunk), inR(chunk), outL(chunk), outR(chunk);
    SampleReader reader(input_.file(), input_.info());
    SampleWriter writer(output_.file(), format_, options_.dither);
    Progress progress(shownInput_, input_.expectedFrames(), input_.info().samplerate);
    bool written = true;
    for (sf_count_t got; written && (got = reader.read(inL.data(), inR.data(), sf_count_t(chunk))) > 0;) {
        const std::size_t count = static_cast<std::size_t>(got);
        for (std::size_t start = 0; start < count; start += block) {
            const std::size_t frames = std::min(block, count - start);
            float* inputs[] = {inL.data() + start, inR.data() + start};
            float* outputs[] = {outL.data() + start, outR.data() + start};
            effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(frames));
        }
        written = writer.write(outL.data(), outR.data(), got) && output_.failure().empty();
        done += got;
        progress.update(done);
    }
    clipped_ = writer.clipped();
    notNumbers_ = writer.notNumbers();
    if (written) return true;
    const std::string reason = output_.failure();
    return refuse(shownOutput_, "cannot write: " + (reason.empty() ? sf_strerror(output_.file()) : reason));
}

bool FileRender::copyTags() {
    // A pipe cannot be read twice: its tags are what libsndfile saw.
    const SourceTags tags = input_.regular() && inputPath_ != "-" ? tagsOfFile(inputPath_)
                                                                  : tagsOfStream(input_.file());
    std::string dropped, error;
    if (!writeTags(output_.descriptor(), output_.temporaryName(), format_, tags, settings_.note, dropped, error))
        return refuse(shownOutput_, error);
    if (!dropped.empty()) Console::get().message(shownOutput_ + ": " + dropped);
    return true;
}

void FileRender::reportChanged() const {
    std::string changed;
    if (clipped_ > 0) changed = std::to_string(clipped_) + " samples clipped at full scale";
    if (notNumbers_ > 0)
        changed += (changed.empty() ? "" : ", ") + std::to_string(notNumbers_) +
                   " samples not a number, written as silence";
    if (!changed.empty()) Console::get().message(shownOutput_ + ": " + changed);
}

int FileRender::finish(sf_count_t done) {
    // An input that ends early or breaks off is a failure, whatever was read.
    const std::string shortfall = input_.shortfall(done);
    if (!shortfall.empty() && !options_.keepPartial) {
        output_.discard();
        return fail(shownInput_, shortfall + "; nothing written (--keep-partial keeps what was read)");
    }
    std::string error;
    if (!output_.finish(error)) return fail(shownOutput_, error);
    if (outputPath_ != "-" && !copyTags()) return 1;
    if (!output_.commit(options_.force, error)) return fail(shownOutput_, error);
    reportChanged();
    if (!shortfall.empty()) return fail(shownInput_, shortfall + "; kept what was read in " + shownOutput_);
    return 0;
}

}  // namespace

int renderFile(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
               const Settings& settings, const std::string& inputPath, const std::string& outputPath) {
    FileRender render(options, settings, inputPath, outputPath);
    if (!render.checkPaths() || !render.openInput() || !render.chooseFormat()) return 1;
    std::string error;
    EffectInstance effect(openEffect(module, error));
    if (!effect) return fail(modulePath, error);
    if (!render.openOutput()) return 1;
    render.startEffect(effect);
    sf_count_t done = 0;
    if (!render.process(effect, done)) return 1;
    effect.power(false);
    effect.close();
    return render.finish(done);
}

int renderFolder(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 const Settings& settings) {
    const std::string& directory = options.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (!std::filesystem::is_directory(directory))
        return fail(directory,
                    "cannot create it as a directory" + (failure ? ": " + failure.message() : std::string()));
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

