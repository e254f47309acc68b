// What the CLAP layer costs per frame: the plug-in loaded from its file and
// driven through clap_process, against the processor it holds, linked in
// and called directly, at the same settings on the same samples. Without
// events, and with one parameter event a block as automation sends them.
// Prints the ratios after the timings.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clap/clap_host.h"
#include "crossfeed/crossfeed_processor.h"
#include "support/samples.h"

namespace {

const std::uint32_t kBlocks[] = {16, 64, 512, 4096};
// The first program's level at two delays: its own and the longest.
constexpr double kLevel = 30.0;
const double kDelays[] = {2.089796, 11.609977};
constexpr int kRefreshEvery = 64;
// The most the layer may cost over the processor, at 512 frames and more.
constexpr double kAllowedCost = 0.05;

enum class Kind { processor, clap, clapAutomated };
const char* const kKindNames[] = {"processor", "clap", "clap-automated"};

struct Case {
    Kind kind;
    bool inPlace;
    std::uint32_t block;
    double delay;
};

std::map<std::string, Case> cases;
ClapLibrary* library = nullptr;

// Processing in place over and over would drift into overflow or
// subnormals: the input is restored now and then, in its own storage.
struct Buffers {
    explicit Buffers(std::uint32_t frames) : original(frames, 11), in(original), out(frames, 29) {}
    void restore() { in = original; }
    const Stereo original;
    Stereo in, out;
};

void runProcessor(benchmark::State& state, const Case& c, Buffers& buffers) {
    CrossfeedProcessor processor;
    processor.setCrossLevel(crossfeed::parameterFromPlain(crossfeed::kLevelParameter, kLevel));
    processor.setNormalisedDelay(crossfeed::parameterFromPlain(crossfeed::kDelayParameter, c.delay));
    float** in = buffers.in.channels();
    float** out = c.inPlace ? in : buffers.out.channels();
    int sinceRefresh = 0;
    for (auto _ : state) {
        processor.process(in[0], in[1], out[0], out[1], c.block, CrossfeedProcessor::Output::replace);
        benchmark::ClobberMemory();
        if (++sinceRefresh == kRefreshEvery) {
            buffers.restore();
            sinceRefresh = 0;
        }
    }
}

void runClap(benchmark::State& state, const Case& c, Buffers& buffers) {
    TestHost host;
    ClapInstance instance(*library, host);
    if (!instance || !instance.activate()) {
        state.SkipWithError("the plug-in made no instance");
        return;
    }
    EventList settings;
    settings.add(0, crossfeed::kLevelParameter, kLevel);
    settings.add(0, crossfeed::kDelayParameter, c.delay);
    instance.flush(settings);
    EventList automation;
    if (c.kind == Kind::clapAutomated) automation.add(0, crossfeed::kLevelParameter, kLevel);
    const clap_input_events_t* events = automation.list();
    float** in = buffers.in.channels();
    float** out = c.inPlace ? in : buffers.out.channels();
    int sinceRefresh = 0;
    for (auto _ : state) {
        instance.process(in, out, 0, c.block, events);
        benchmark::ClobberMemory();
        if (++sinceRefresh == kRefreshEvery) {
            buffers.restore();
            sinceRefresh = 0;
        }
    }
}

void runCase(benchmark::State& state, Case c) {
    Buffers buffers(c.block);
    if (c.kind == Kind::processor)
        runProcessor(state, c, buffers);
    else
        runClap(state, c, buffers);
    state.SetItemsProcessed(state.iterations() * c.block);
}

std::string tailOf(bool inPlace, std::uint32_t block, double delay) {
    return std::string(inPlace ? "in-place" : "separate") + "/" + std::to_string(block) + "/" +
           std::to_string(crossfeed::delaySamplesFor(crossfeed::parameterFromPlain(crossfeed::kDelayParameter, delay)));
}

// Neighbours in the run are what gets compared, so time drifts hit both.
void registerAll() {
    for (std::uint32_t block : kBlocks)
        for (bool inPlace : {false, true})
            for (double delay : kDelays)
                for (Kind kind : {Kind::processor, Kind::clap, Kind::clapAutomated}) {
                    const std::string name =
                        std::string(kKindNames[static_cast<int>(kind)]) + "/" + tailOf(inPlace, block, delay);
                    cases[name] = {kind, inPlace, block, delay};
                    benchmark::RegisterBenchmark(name.c_str(), runCase, cases[name]);
                }
}

// Keeps each benchmark's CPU time per frame while the console shows the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto found = cases.find(run.run_name.function_name);
            if (run.run_type != Run::RT_Iteration || run.error_occurred || found == cases.end()) continue;
            Time& time = times[found->first];
            time.sum += run.cpu_accumulated_time / (static_cast<double>(run.iterations) * found->second.block);
            ++time.count;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double perFrame(const std::string& name) const {
        const auto found = times.find(name);
        return found == times.end() ? 0.0 : found->second.sum / found->second.count;
    }

private:
    struct Time {
        double sum = 0.0;
        int count = 0;
    };
    std::map<std::string, Time> times;
};

void printRatios(const RatioReporter& reporter) {
    std::printf("\nCLAP layer: time per frame over the processor's (CPU time, same run, same samples)\n");
    std::printf("%-9s %6s %6s %14s %18s\n", "buffers", "block", "delay", "no events", "one event/block");
    bool met = true;
    for (std::uint32_t block : kBlocks)
        for (bool inPlace : {false, true})
            for (double delay : kDelays) {
                const std::string tail = tailOf(inPlace, block, delay);
                const double processor = reporter.perFrame("processor/" + tail);
                const double plain = reporter.perFrame("clap/" + tail);
                const double automated = reporter.perFrame("clap-automated/" + tail);
                if (processor <= 0.0 || plain <= 0.0 || automated <= 0.0) continue;
                const bool ok = block < 512 || (plain / processor <= 1.0 + kAllowedCost &&
                                                automated / processor <= 1.0 + kAllowedCost);
                met = met && ok;
                std::printf("%-9s %6u %6s %13.3fx %17.3fx%s\n", inPlace ? "in-place" : "separate", block,
                            tail.substr(tail.rfind('/') + 1).c_str(), plain / processor, automated / processor,
                            ok ? "" : "  above target");
            }
    std::printf("Target at 512 frames and more (at most %.0f%% over the processor): %s\n", kAllowedCost * 100.0,
                met ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const char* path = std::getenv("CROSSFEED_CLAP");
    std::string error;
    std::unique_ptr<ClapLibrary> loaded = ClapLibrary::load(path ? path : CROSSFEED_CLAP, error);
    if (!loaded) {
        std::fprintf(stderr, "cannot load %s: %s\n", path ? path : CROSSFEED_CLAP, error.c_str());
        return 1;
    }
    library = loaded.get();
    registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(reporter);
    benchmark::Shutdown();
    return 0;
}
