// State as a host keeps it in its session: both values and the program, in
// a byte format of their own; anything but a whole state of that format is
// refused and leaves the instance as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "clap/clap_fixture.h"

namespace {

using crossfeed::kDelayParameter;
using crossfeed::kLevelParameter;

using Bytes = std::vector<std::uint8_t>;

// The documented layout, written out by hand.
Bytes stateOf(double level, double delay, std::int32_t program, std::uint32_t format = 1) {
    Bytes bytes = {'X', 'F', 's', 't'};
    const auto put = [&](std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    std::uint64_t bits;
    put(format, 4);
    std::memcpy(&bits, &level, 8);
    put(bits, 8);
    std::memcpy(&bits, &delay, 8);
    put(bits, 8);
    put(static_cast<std::uint32_t>(program), 4);
    return bytes;
}

void setValues(ClapInstance& instance, double level, double delay) {
    EventList events;
    events.add(0, kLevelParameter, level);
    events.add(0, kDelayParameter, delay);
    instance.flush(events);
}

TEST(ClapState, IsTheDocumentedBytesAndCarriesValuesAndProgramToAnotherInstance) {
    TestHost host;
    ClapInstance first(clapLibrary(), host);
    ASSERT_TRUE(first.loadPreset("1"));
    EXPECT_EQ(first.saveState(), stateOf(45.0, 1.6253968, 1)) << "the shortest decimals of the program's values";
    setValues(first, 63.25, 7.5);
    const Bytes saved = first.saveState();
    EXPECT_EQ(saved, stateOf(63.25, 7.5, 1)) << "the program stays selected after an edit";

    ClapInstance second(clapLibrary(), host);
    ASSERT_TRUE(second.loadState(saved, 1)) << "a byte at a time";
    EXPECT_EQ(second.value(kLevelParameter), 63.25);
    EXPECT_EQ(second.value(kDelayParameter), 7.5);
    EXPECT_EQ(second.saveState(), saved);
    ASSERT_TRUE(second.activate());
    const Stereo input(1500, 7);
    const std::vector<Change> values = {{0, kLevelParameter, 63.25}, {0, kDelayParameter, 7.5}};
    EXPECT_EQ(bitDifference(renderClap(second, input, {256}, {}), renderProcessor(input, 0, values)), "");

    // Loaded while active, it holds from the next block.
    ASSERT_TRUE(second.loadState(stateOf(12.5, 0.25, 3)));
    EXPECT_EQ(second.value(kLevelParameter), 12.5);
    second.plugin()->reset(second.plugin());
    const std::vector<Change> loaded = {{0, kLevelParameter, 12.5}, {0, kDelayParameter, 0.25}};
    EXPECT_EQ(bitDifference(renderClap(second, input, {300}, {}), renderProcessor(input, 0, loaded)), "");
    EXPECT_EQ(second.saveState(), stateOf(12.5, 0.25, 3));

    // The longest delay as an 8-character text gives, a hair above the
    // range: held to its end, active or not.
    for (bool active : {true, false}) {
        if (!active) second.deactivate();
        ASSERT_TRUE(second.loadState(stateOf(40.0, 11.60998, 2)));
        EXPECT_EQ(second.value(kDelayParameter), kLongestDelay) << (active ? "active" : "inactive");
    }
}

TEST(ClapState, AnythingButAWholeStateIsRefusedAndChangesNothing) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.loadPreset("2"));
    setValues(instance, 33.0, 4.0);
    const Bytes before = instance.saveState();
    const Bytes good = stateOf(50.0, 5.0, 0);
    std::vector<std::pair<Bytes, std::string>> refused;
    for (std::size_t size = 0; size < good.size(); ++size) refused.push_back({Bytes(good.begin(), good.begin() + size), "cut at " + std::to_string(size)});
    Bytes longer = good;
    longer.push_back(0);
    refused.push_back({longer, "a byte too many"});
    refused.push_back({stateOf(50.0, 5.0, 0, 2), "a later format"});
    refused.push_back({stateOf(50.0, 5.0, 0, 0), "format 0"});
    Bytes otherMagic = good;
    otherMagic[0] = 'x';
    refused.push_back({otherMagic, "another magic"});
    refused.push_back({stateOf(std::nan(""), 5.0, 0), "NaN level"});
    refused.push_back({stateOf(50.0, std::nan(""), 0), "NaN delay"});
    refused.push_back({stateOf(100.5, 5.0, 0), "level above the range"});
    refused.push_back({stateOf(-1.0, 5.0, 0), "negative level"});
    refused.push_back({stateOf(50.0, 11.7, 0), "delay above the range"});
    refused.push_back({stateOf(50.0, HUGE_VAL, 0), "infinite delay"});
    refused.push_back({stateOf(50.0, 5.0, 4), "program 4"});
    refused.push_back({stateOf(50.0, 5.0, -1), "program -1"});
    const std::vector<float> random = noise(64 * 40, 99);
    for (int i = 0; i < 64; ++i) {
        Bytes garbage(static_cast<std::size_t>(std::abs(random[i * 40]) * 39));
        for (std::size_t b = 0; b < garbage.size(); ++b)
            garbage[b] = static_cast<std::uint8_t>(random[i * 40 + 1 + b] * 127.0f + 128.0f);
        if (i % 2) std::memcpy(garbage.data(), "XFst", std::min<std::size_t>(4, garbage.size()));
        refused.push_back({garbage, "garbage " + std::to_string(i)});
    }
    for (const auto& [bytes, what] : refused) {
        EXPECT_FALSE(instance.loadState(bytes)) << what;
        EXPECT_EQ(instance.saveState(), before) << what;
    }
    EXPECT_TRUE(instance.loadState(good));
}

// A stream of the host's that fails, or claims more than it was asked for.
struct Faulty {
    std::int64_t answer;
};

TEST(ClapState, StreamErrorsAreFailuresAndShortWritesAreFinished) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    const auto* state = instance.extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    ASSERT_NE(state, nullptr);
    for (std::int64_t answer : {std::int64_t{-1}, std::int64_t{1000}}) {
        Faulty faulty{answer};
        const clap_istream_t in{&faulty, [](const clap_istream_t* stream, void*, std::uint64_t) {
                                    return static_cast<Faulty*>(stream->ctx)->answer;
                                }};
        EXPECT_FALSE(state->load(instance.plugin(), &in)) << answer;
        const clap_ostream_t out{&faulty, [](const clap_ostream_t* stream, const void*, std::uint64_t) {
                                     return static_cast<Faulty*>(stream->ctx)->answer;
                                 }};
        EXPECT_FALSE(state->save(instance.plugin(), &out)) << answer;
    }
    EXPECT_FALSE(state->load(instance.plugin(), nullptr));
    EXPECT_FALSE(state->save(instance.plugin(), nullptr));

    Bytes written;
    const clap_ostream_t threeAtATime{&written, [](const clap_ostream_t* stream, const void* data, std::uint64_t size) {
                                          auto* into = static_cast<Bytes*>(stream->ctx);
                                          const auto* from = static_cast<const std::uint8_t*>(data);
                                          const std::uint64_t count = size < 3 ? size : 3;
                                          into->insert(into->end(), from, from + count);
                                          return static_cast<std::int64_t>(count);
                                      }};
    ASSERT_TRUE(state->save(instance.plugin(), &threeAtATime));
    EXPECT_EQ(written, instance.saveState());
}

}  // namespace
