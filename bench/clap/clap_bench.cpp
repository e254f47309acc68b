// What the CLAP layer costs per frame: the plug-in loaded from its file and
// driven through clap_process, against the processor it holds, linked in
// and called directly, at the same settings on the same samples; without
// events, and with one parameter event a block as automation sends them.
// Prints the ratios after the timings.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "clap/clap_host.h"
#include "crossfeed/crossfeed_processor.h"
#include "host/float_environment.h"
#include "support/samples.h"

namespace {

const std::uint32_t kBlocks[] = {16, 64, 512, 4096};
// The first program's level at two delays: its own and the longest.
constexpr double kLevel = 30.0;
const double kDelays[] = {2.089796, 11.609977};
// Frames each contender processes in one turn, between restores of the input.
constexpr std::uint32_t kFramesPerTurn = 8192;
// The most the layer may cost over the processor, at 512 frames and more.
constexpr double kAllowedCost = 0.05;

struct Case {
    bool inPlace;
    std::uint32_t block;
    double delay;
};

ClapLibrary* library = nullptr;

// The processor linked in, the plug-in without events, and the plug-in
// with one parameter event a block.
enum Contender { kProcessor, kGuarded, kClap, kClapAutomated, kContenders };

struct Ratios {
    double guard, clap, automated;
};
std::map<std::string, Ratios> ratios;

// Processing in place over and over would drift into overflow or
// subnormals: each turn starts from the same input, restored in its own
// storage.
struct Buffers {
    explicit Buffers(std::uint32_t frames) : original(frames, 11), in(original), out(frames, 29) {}
    void restore() { in = original; }
    const Stereo original;
    Stereo in, out;
};

std::string nameOf(const Case& c) {
    return std::string(c.inPlace ? "in-place" : "separate") + "/" + std::to_string(c.block) + "/" +
           std::to_string(crossfeed::delaySamplesFor(crossfeed::parameterFromPlain(crossfeed::kDelayParameter, c.delay)));
}

// The contenders take turns, in changing order, each over the same frames;
// the quickest turn of each is its cost, so what the machine's other work
// adds to some turns drops out.
void runCase(benchmark::State& state, Case c) {
    CrossfeedProcessor processor;
    processor.setCrossLevel(crossfeed::parameterFromPlain(crossfeed::kLevelParameter, kLevel));
    processor.setNormalisedDelay(crossfeed::parameterFromPlain(crossfeed::kDelayParameter, c.delay));
    TestHost host;
    ClapInstance plain(*library, host), automated(*library, host);
    EventList settings, automation, none;
    settings.add(0, crossfeed::kLevelParameter, kLevel);
    settings.add(0, crossfeed::kDelayParameter, c.delay);
    automation.add(0, crossfeed::kLevelParameter, kLevel);
    for (ClapInstance* instance : {&plain, &automated}) {
        if (!*instance || !instance->activate()) {
            state.SkipWithError("the plug-in made no instance");
            return;
        }
        instance->flush(settings);
    }
    Buffers buffers(c.block);
    float** in = buffers.in.channels();
    float** out = c.inPlace ? in : buffers.out.channels();
    // What a host prepares once and hands over each block.
    clap_audio_buffer_t input{in, nullptr, 2, 0, 0}, output{out, nullptr, 2, 0, 0};
    const clap_process_t withoutEvents{-1, c.block, nullptr, &input, &output, 1, 1, none.list(), nullptr};
    const clap_process_t withEvent{-1, c.block, nullptr, &input, &output, 1, 1, automation.list(), nullptr};
    const std::uint32_t calls = std::max<std::uint32_t>(1, kFramesPerTurn / c.block);
    const auto turn = [&](int contender) {
        buffers.restore();
        const auto start = std::chrono::steady_clock::now();
        for (std::uint32_t call = 0; call < calls; ++call) {
            if (contender == kProcessor)
                processor.process(in[0], in[1], out[0], out[1], c.block, CrossfeedProcessor::Output::replace);
            else if (contender == kGuarded) {
                const ModuleFloatEnvironment environment;
                processor.process(in[0], in[1], out[0], out[1], c.block, CrossfeedProcessor::Output::replace);
            }
            else if (contender == kClap)
                plain.plugin()->process(plain.plugin(), &withoutEvents);
            else
                automated.plugin()->process(automated.plugin(), &withEvent);
            benchmark::ClobberMemory();
        }
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        return took.count() / (static_cast<double>(calls) * c.block);
    };
    double best[kContenders] = {1e300, 1e300, 1e300, 1e300};
    int first = 0;
    for (auto _ : state) {
        for (int i = 0; i < kContenders; ++i) {
            const int contender = (first + i) % kContenders;
            best[contender] = std::min(best[contender], turn(contender));
        }
        first = (first + 1) % kContenders;
    }
    state.counters["processor_ns"] = best[kProcessor];
    state.counters["guard_x"] = best[kGuarded] / best[kProcessor];
    state.counters["clap_x"] = best[kClap] / best[kProcessor];
    state.counters["automated_x"] = best[kClapAutomated] / best[kProcessor];
    ratios[nameOf(c)] = {best[kGuarded] / best[kProcessor], best[kClap] / best[kProcessor],
                         best[kClapAutomated] / best[kProcessor]};
    state.SetItemsProcessed(state.iterations() * kContenders * calls * c.block);
}

void registerAll() {
    for (std::uint32_t block : kBlocks)
        for (bool inPlace : {false, true})
            for (double delay : kDelays) {
                const Case c{inPlace, block, delay};
                benchmark::RegisterBenchmark(("clap-vs-processor/" + nameOf(c)).c_str(), runCase, c);
            }
}

void printRatios() {
    std::printf("\nCLAP layer: time per frame over the processor's (quickest turn of each, same run, same samples)\n");
    std::printf("%-9s %6s %6s %12s %12s %16s\n", "buffers", "block", "delay", "guard alone", "no events",
                "one event/block");
    bool met = true;
    for (std::uint32_t block : kBlocks)
        for (bool inPlace : {false, true})
            for (double delay : kDelays) {
                const Case c{inPlace, block, delay};
                const auto found = ratios.find(nameOf(c));
                if (found == ratios.end()) continue;
                const Ratios& r = found->second;
                const bool ok = block < 512 || (r.clap <= 1.0 + kAllowedCost && r.automated <= 1.0 + kAllowedCost);
                met = met && ok;
                const std::string name = nameOf(c);
                std::printf("%-9s %6u %6s %11.3fx %11.3fx %15.3fx%s\n", inPlace ? "in-place" : "separate", block,
                            name.substr(name.rfind('/') + 1).c_str(), r.guard, r.clap, r.automated,
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
    benchmark::RunSpecifiedBenchmarks();
    printRatios();
    benchmark::Shutdown();
    return 0;
}
