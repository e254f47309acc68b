// Frames per second of the module's two processing entries, called through
// its record, against the per-frame oracle, libbs2b's float crossfeed and a
// plain memcpy of the same samples. Prints the ratios after the timings.
#include <benchmark/benchmark.h>
#include <bs2b.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "loader/plugin_host.h"
#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

const int kBlocks[] = {16, 64, 512, 4096};
const int kOffsets[] = {0, 1, 92, 256, 511};
constexpr int kMaxBlock = 4096;
constexpr float kCrossLevel = 0.3f;
// Buffers the processing writes are restored this often, so that repeated
// in-place processing and adding never drift into overflow or subnormals.
constexpr int kRefreshEvery = 64;

enum class Kind { crossfeed, baseline, reference, bs2b, copy };

struct Case {
    Kind kind;
    bool adding;
    bool inPlace;
    int block;
    int offset;
};

std::map<std::string, Case> cases;
PluginModule* module = nullptr;
// Another build of the module to compare with in the same run, if given.
PluginModule* baselineModule = nullptr;

float delayFor(int offset) { return offset == 511 ? 1.0f : static_cast<float>(offset) / 512.0f; }

// The same samples for every contender.
struct Data {
    Data() : left(noise(kMaxBlock, 11)), right(noise(kMaxBlock, 29)) {}
    std::vector<float> left, right;
};
const Data& data() {
    static const Data shared;
    return shared;
}

// Inputs and outputs of one contender, restored from the shared data.
struct Buffers {
    explicit Buffers(int frames)
        : inL(data().left.begin(), data().left.begin() + frames), inR(data().right.begin(), data().right.begin() + frames),
          outL(inR), outR(inL) {}
    void restore(int frames) {
        std::memcpy(inL.data(), data().left.data(), sizeof(float) * frames);
        std::memcpy(inR.data(), data().right.data(), sizeof(float) * frames);
        std::memcpy(outL.data(), data().right.data(), sizeof(float) * frames);
        std::memcpy(outR.data(), data().left.data(), sizeof(float) * frames);
    }
    std::vector<float> inL, inR, outL, outR;
};

void runCase(benchmark::State& state, Case c) {
    Buffers buffers(c.block);
    float* in[2] = {buffers.inL.data(), buffers.inR.data()};
    float* out[2] = {buffers.outL.data(), buffers.outR.data()};
    float** target = c.inPlace ? in : out;
    int sinceRefresh = 0;
    auto refresh = [&] {
        if (++sinceRefresh == kRefreshEvery) {
            buffers.restore(c.block);
            sinceRefresh = 0;
        }
    };

    switch (c.kind) {
    case Kind::crossfeed:
    case Kind::baseline: {
        EffectInstance effect((c.kind == Kind::crossfeed ? module : baselineModule)->instantiate());
        if (!effect) {
            state.SkipWithError("the module made no effect");
            return;
        }
        effect.setParameter(0, kCrossLevel);
        effect.setParameter(1, delayFor(c.offset));
        effect.power(true);
        for (auto _ : state) {
            if (c.adding)
                effect.processAdding(in, target, c.block);
            else
                effect.processReplacing(in, target, c.block);
            benchmark::ClobberMemory();
            refresh();
        }
        break;
    }
    case Kind::reference: {
        ReferenceCrossfeed reference;
        reference.setParameters(kCrossLevel, delayFor(c.offset));
        for (auto _ : state) {
            reference.process(in[0], in[1], target[0], target[1], c.block, c.adding);
            benchmark::ClobberMemory();
            refresh();
        }
        break;
    }
    case Kind::bs2b: {
        t_bs2bdp bs2b = bs2b_open();
        if (!bs2b) {
            state.SkipWithError("bs2b_open failed");
            return;
        }
        bs2b_set_srate(bs2b, BS2B_DEFAULT_SRATE);
        bs2b_set_level(bs2b, BS2B_DEFAULT_CLEVEL);
        // Its own format: interleaved frames, processed in place.
        std::vector<float> frames(2 * static_cast<std::size_t>(c.block));
        auto interleave = [&] {
            for (int i = 0; i < c.block; ++i) {
                frames[2 * i] = data().left[i];
                frames[2 * i + 1] = data().right[i];
            }
        };
        interleave();
        for (auto _ : state) {
            bs2b_cross_feed_f(bs2b, frames.data(), c.block);
            benchmark::ClobberMemory();
            if (++sinceRefresh == kRefreshEvery) {
                interleave();
                sinceRefresh = 0;
            }
        }
        bs2b_close(bs2b);
        break;
    }
    case Kind::copy:
        for (auto _ : state) {
            std::memcpy(out[0], in[0], sizeof(float) * c.block);
            std::memcpy(out[1], in[1], sizeof(float) * c.block);
            benchmark::ClobberMemory();
        }
        break;
    }
    state.SetItemsProcessed(state.iterations() * c.block);
}

void add(const std::string& name, Case c) {
    cases[name] = c;
    benchmark::RegisterBenchmark(name.c_str(), runCase, c);
}

std::string modeName(bool adding) { return adding ? "adding" : "replacing"; }
std::string buffersName(bool inPlace) { return inPlace ? "in-place" : "separate"; }

// Neighbours in the run are what gets compared, so time drifts hit both.
void registerAll() {
    for (int block : kBlocks) {
        add("memcpy/" + std::to_string(block), {Kind::copy, false, false, block, 0});
        add("bs2b/" + std::to_string(block), {Kind::bs2b, false, true, block, 0});
        for (bool adding : {false, true})
            for (bool inPlace : {false, true})
                for (int offset : kOffsets) {
                    const std::string tail = modeName(adding) + "/" + buffersName(inPlace) + "/" +
                                             std::to_string(block) + "/" + std::to_string(offset);
                    add("crossfeed/" + tail, {Kind::crossfeed, adding, inPlace, block, offset});
                    if (baselineModule) add("baseline/" + tail, {Kind::baseline, adding, inPlace, block, offset});
                    add("reference/" + tail, {Kind::reference, adding, inPlace, block, offset});
                }
    }
}

// Keeps each benchmark's frames per second (CPU time, averaged over
// repetitions) while the console shows the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.cpu_accumulated_time <= 0) continue;
            const auto found = cases.find(run.run_name.function_name);
            if (found == cases.end()) continue;
            Rate& rate = rates[found->first];
            rate.sum += static_cast<double>(found->second.block) * static_cast<double>(run.iterations) /
                        run.cpu_accumulated_time;
            ++rate.count;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double framesPerSecond(const std::string& name) const {
        const auto found = rates.find(name);
        return found == rates.end() ? 0.0 : found->second.sum / found->second.count;
    }

private:
    struct Rate {
        double sum = 0.0;
        int count = 0;
    };
    std::map<std::string, Rate> rates;
};

void printRatios(const RatioReporter& reporter) {
    std::printf("\nThroughput ratios (CPU time, same run, same data; bs2b at its default level)\n");
    std::printf("%-10s %-9s %6s %6s %14s %10s %12s\n", "entry", "buffers", "block", "offset", "x reference",
                "x bs2b", "time/memcpy");
    bool met = true;
    int measured = 0;
    for (bool adding : {false, true})
        for (bool inPlace : {false, true})
            for (int block : kBlocks)
                for (int offset : kOffsets) {
                    const std::string tail = modeName(adding) + "/" + buffersName(inPlace) + "/" +
                                             std::to_string(block) + "/" + std::to_string(offset);
                    const double ours = reporter.framesPerSecond("crossfeed/" + tail);
                    const double reference = reporter.framesPerSecond("reference/" + tail);
                    const double bs2b = reporter.framesPerSecond("bs2b/" + std::to_string(block));
                    const double copy = reporter.framesPerSecond("memcpy/" + std::to_string(block));
                    if (ours <= 0.0) continue;
                    ++measured;
                    const double vsReference = reference > 0.0 ? ours / reference : 0.0;
                    const double vsBs2b = bs2b > 0.0 ? ours / bs2b : 0.0;
                    const double vsCopy = copy > 0.0 ? copy / ours : 0.0;
                    bool ok = true;
                    if (block == 512) {
                        if (adding)
                            ok = vsReference >= 2.5;
                        else
                            ok = vsReference >= 3.0 && vsBs2b >= 8.0 && vsCopy <= 8.0;
                    }
                    met = met && ok;
                    std::printf("%-10s %-9s %6d %6d %13.2fx %9.2fx %11.2fx%s\n", modeName(adding).c_str(),
                                buffersName(inPlace).c_str(), block, offset, vsReference, vsBs2b, vsCopy,
                                ok ? "" : "  below target");
                }
    if (baselineModule) {
        std::printf("\nAgainst the baseline module (time of this build / time of the baseline)\n");
        for (bool adding : {false, true})
            for (int block : kBlocks) {
                double sum = 0.0, oursVsReference = 1e300, baseVsReference = 1e300;
                int count = 0;
                for (bool inPlace : {false, true})
                    for (int offset : kOffsets) {
                        const std::string tail = modeName(adding) + "/" + buffersName(inPlace) + "/" +
                                                 std::to_string(block) + "/" + std::to_string(offset);
                        const double ours = reporter.framesPerSecond("crossfeed/" + tail);
                        const double base = reporter.framesPerSecond("baseline/" + tail);
                        const double reference = reporter.framesPerSecond("reference/" + tail);
                        if (ours > 0.0 && base > 0.0 && reference > 0.0) {
                            sum += base / ours;
                            oursVsReference = std::min(oursVsReference, ours / reference);
                            baseVsReference = std::min(baseVsReference, base / reference);
                            ++count;
                        }
                    }
                if (count)
                    std::printf("%-10s block %5d: %.3fx (mean of %d cases); worst x reference: this build %.2fx, "
                                "baseline %.2fx\n",
                                modeName(adding).c_str(), block, sum / count, count, oursVsReference,
                                baseVsReference);
            }
    }
    if (measured)
        std::printf("Targets at 512 frames (replacing: >= 3x reference, >= 8x bs2b, <= 8x memcpy's time; "
                    "adding: >= 2.5x reference): %s\n",
                    met ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const char* path = std::getenv("CROSSFEED_MODULE");
    std::string error;
    std::unique_ptr<PluginModule> loaded = PluginModule::load(path ? path : CROSSFEED_MODULE, error);
    if (!loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", path ? path : CROSSFEED_MODULE, error.c_str());
        return 1;
    }
    module = loaded.get();
    std::unique_ptr<PluginModule> baseline;
    if (const char* other = std::getenv("CROSSFEED_BASELINE_MODULE")) {
        baseline = PluginModule::load(other, error);
        if (!baseline) {
            std::fprintf(stderr, "cannot load %s: %s\n", other, error.c_str());
            return 1;
        }
        baselineModule = baseline.get();
    }
    registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
