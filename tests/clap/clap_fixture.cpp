#include "clap/clap_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "crossfeed/crossfeed_processor.h"
#include "support/module_under_test.h"

ClapLibrary& clapLibrary() {
    static std::unique_ptr<ClapLibrary> library = [] {
        std::string error;
        auto loaded = ClapLibrary::load(CROSSFEED_CLAP, error);
        if (!loaded) {
            std::cerr << "cannot load " << CROSSFEED_CLAP << ": " << error << "\n";
            std::abort();
        }
        return loaded;
    }();
    return *library;
}

Stereo renderClap(ClapInstance& instance, const Stereo& input, const std::vector<std::uint32_t>& blocks,
                  const std::vector<Change>& changes, bool inPlace) {
    Stereo in = input, out(input.frames());
    float** const outputs = inPlace ? in.channels() : out.channels();
    float** const inputs = in.channels();
    EventList events;
    std::size_t next = 0;
    const auto total = static_cast<std::uint32_t>(input.frames());
    for (std::uint32_t start = 0, block = 0; start < total; ++block) {
        const std::uint32_t frames = std::min(blocks[block % blocks.size()], total - start);
        events.clear();
        for (; next < changes.size() && changes[next].frame < start + frames; ++next)
            events.add(changes[next].frame - start, changes[next].parameter, changes[next].plain);
        instance.process(inputs, outputs, start, frames, events.list());
        start += frames;
    }
    return inPlace ? in : out;
}

namespace {

// Runs `piece(from, frames)` between the changes, `set(change)` at each.
template <typename Piece, typename Set>
void inPieces(std::size_t total, const std::vector<Change>& changes, Piece piece, Set set) {
    std::size_t done = 0;
    for (const Change& change : changes) {
        if (change.frame > done) piece(done, change.frame - done);
        done = std::max<std::size_t>(done, change.frame);
        set(change);
    }
    if (total > done) piece(done, total - done);
}

float valueOf(const Change& change) { return crossfeed::parameterFromPlain(change.parameter, change.plain); }

}  // namespace

Stereo renderProcessor(const Stereo& input, std::int32_t program, const std::vector<Change>& changes) {
    CrossfeedProcessor processor;
    processor.setCrossLevel(crossfeed::kPresets[program].level);
    processor.setNormalisedDelay(crossfeed::kPresets[program].delay);
    Stereo in = input, out(input.frames());
    inPieces(
        input.frames(), changes,
        [&](std::size_t from, std::size_t frames) {
            processor.process(in.left.data() + from, in.right.data() + from, out.left.data() + from,
                              out.right.data() + from, frames, CrossfeedProcessor::Output::replace);
        },
        [&](const Change& change) {
            if (change.parameter == crossfeed::kLevelParameter)
                processor.setCrossLevel(valueOf(change));
            else
                processor.setNormalisedDelay(valueOf(change));
        });
    return out;
}

Stereo renderModule(const Stereo& input, std::int32_t program, const std::vector<Change>& changes) {
    EffectInstance effect = newEffect();
    effect.setProgram(program);
    Stereo in = input, out(input.frames());
    inPieces(
        input.frames(), changes,
        [&](std::size_t from, std::size_t frames) {
            float* inputs[2] = {in.left.data() + from, in.right.data() + from};
            float* outputs[2] = {out.left.data() + from, out.right.data() + from};
            effect.processReplacing(inputs, outputs, static_cast<std::int32_t>(frames));
        },
        [&](const Change& change) { effect.setParameter(change.parameter, valueOf(change)); });
    return out;
}

std::vector<Change> randomChanges(std::uint32_t count, std::uint32_t frames, std::uint32_t seed) {
    const std::vector<float> random = noise(3 * count, seed);
    std::vector<Change> changes;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto parameter = random[3 * i] < 0.0f ? crossfeed::kLevelParameter : crossfeed::kDelayParameter;
        const double unit = std::abs(random[3 * i + 1]);
        const auto frame = static_cast<std::uint32_t>(std::abs(random[3 * i + 2]) * (frames - 1));
        changes.push_back({frame, parameter, unit * crossfeed::kParameters[parameter].maximum});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.frame < b.frame; });
    return changes;
}
