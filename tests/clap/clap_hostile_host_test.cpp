// Hosts that get things wrong: calls out of order, processing before
// activation, zero frames, broken buffers and event lists, unknown
// parameters, events out of order or past the block, no host extensions,
// loads from the main thread while the audio thread runs. Never a crash;
// always a defined output.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "clap/clap_fixture.h"

namespace {

using crossfeed::kDelayParameter;
using crossfeed::kLevelParameter;

bool allEqual(const std::vector<float>& samples, float value) {
    for (float sample : samples)
        if (!(sample == value)) return false;
    return true;
}

TEST(ClapHostileHost, ProcessingBeforeActivationOrAfterwardsGivesSilence) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    Stereo in(256, 1), out(256);
    std::fill(out.left.begin(), out.left.end(), 7.0f);
    EXPECT_EQ(instance.process(in.channels(), out.channels(), 0, 256, nullptr), CLAP_PROCESS_ERROR);
    EXPECT_TRUE(allEqual(out.left, 0.0f) && allEqual(out.right, 0.0f));
    const clap_plugin_t* plugin = instance.plugin();
    EXPECT_FALSE(plugin->start_processing(plugin)) << "not active";
    plugin->reset(plugin);
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
    ASSERT_TRUE(instance.activate());
    EXPECT_FALSE(plugin->activate(plugin, 44100.0, 1, 512)) << "already active";
    EXPECT_TRUE(plugin->init(plugin)) << "a second init";
    EXPECT_EQ(instance.process(in.channels(), out.channels(), 0, 256, nullptr), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(plugin->process(plugin, nullptr), CLAP_PROCESS_ERROR);
    instance.deactivate();
    std::fill(out.left.begin(), out.left.end(), 7.0f);
    EXPECT_EQ(instance.process(in.channels(), out.channels(), 0, 256, nullptr), CLAP_PROCESS_ERROR);
    EXPECT_TRUE(allEqual(out.left, 0.0f));
}

TEST(ClapHostileHost, ZeroFramesWriteNothingAndStillTakeTheEvents) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    Stereo in(16, 1), out(16);
    std::fill(out.left.begin(), out.left.end(), 7.0f);
    EventList events;
    events.add(0, kLevelParameter, 70.0);
    events.add(3, kDelayParameter, 1.0);
    EXPECT_EQ(instance.process(in.channels(), out.channels(), 0, 0, events.list()), CLAP_PROCESS_CONTINUE);
    EXPECT_TRUE(allEqual(out.left, 7.0f));
    EXPECT_EQ(instance.value(kLevelParameter), 70.0);
    EXPECT_EQ(instance.value(kDelayParameter), 1.0);
}

TEST(ClapHostileHost, BrokenBuffersGiveSilenceWhereThereIsAnOutput) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    Stereo in(64, 1), out(64);
    float* inputs[2] = {in.left.data(), nullptr};
    float* outputs[2] = {out.left.data(), out.right.data()};
    const clap_plugin_t* plugin = instance.plugin();
    // The output, where there is one, is silent; otherwise left alone.
    const auto check = [&](clap_audio_buffer_t* input, std::uint32_t inputs, clap_audio_buffer_t* output,
                           std::uint32_t outputCount, float left, const char* what) {
        std::fill(out.left.begin(), out.left.end(), 7.0f);
        const clap_process_t process{0, 64, nullptr, input, output, inputs, outputCount, nullptr, nullptr};
        EXPECT_EQ(plugin->process(plugin, &process), CLAP_PROCESS_ERROR) << what;
        EXPECT_TRUE(allEqual(out.left, left)) << what;
    };
    clap_audio_buffer_t good{outputs, nullptr, 2, 0, 0};
    clap_audio_buffer_t halfInput{inputs, nullptr, 2, 0, 0};
    clap_audio_buffer_t mono{outputs, nullptr, 1, 0, 0};
    clap_audio_buffer_t no32{nullptr, nullptr, 2, 0, 0};
    check(nullptr, 0, &good, 1, 0.0f, "no input port");
    check(&halfInput, 1, &good, 1, 0.0f, "a null input channel");
    check(&mono, 1, &good, 1, 0.0f, "a mono input");
    check(&no32, 1, &good, 1, 0.0f, "no 32-bit input");
    check(&good, 1, &no32, 1, 7.0f, "no 32-bit output");
    check(&good, 1, nullptr, 0, 7.0f, "no output port");
}

// A list whose entries the host got wrong in every way it can.
TEST(ClapHostileHost, OtherEventsAndUnknownParametersChangeNothing) {
    const Stereo input(3000, 4);
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    EventList events;
    events.add(10, 2, 50.0);
    events.add(20, CLAP_INVALID_ID, 50.0);
    events.add(30, kLevelParameter, 90.0, CLAP_EVENT_PARAM_MOD);
    events.add(40, kLevelParameter, 90.0, CLAP_EVENT_NOTE_ON);
    events.add(50, kLevelParameter, 90.0);
    events.events().back().header.space_id = 7;
    events.add(60, kDelayParameter, 9.0);
    events.events().back().header.size = 8;  // too short to be a value
    struct Broken {
        EventList* events;
        clap_input_events_t list;
    } broken{&events, {}};
    broken.list.ctx = &broken;
    broken.list.size = [](const clap_input_events_t* list) {
        return static_cast<std::uint32_t>(static_cast<Broken*>(list->ctx)->events->events().size() + 2);
    };
    broken.list.get = [](const clap_input_events_t* list, std::uint32_t index) -> const clap_event_header_t* {
        const auto& all = static_cast<Broken*>(list->ctx)->events->events();
        return index < all.size() ? &all[index].header : nullptr;  // the last two are null
    };
    Stereo in = input, out(input.frames());
    instance.process(in.channels(), out.channels(), 0, 3000, &broken.list);
    EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, {})), "");
    clap_input_events_t empty{nullptr, nullptr, nullptr};
    instance.process(in.channels(), out.channels(), 0, 3000, &empty);
}

TEST(ClapHostileHost, LateEventsTakeEffectAtOnceAndEventsPastTheBlockAtItsEnd) {
    const Stereo input(1024, 6);
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    EventList events;
    events.add(300, kLevelParameter, 80.0);
    events.add(100, kLevelParameter, 20.0);  // out of order
    events.add(99999, kDelayParameter, 5.0);
    Stereo in = input, out(input.frames());
    instance.process(in.channels(), out.channels(), 0, 512, events.list());
    instance.process(in.channels(), out.channels(), 512, 512, nullptr);
    const std::vector<Change> expected = {
        {300, kLevelParameter, 80.0}, {300, kLevelParameter, 20.0}, {512, kDelayParameter, 5.0}};
    EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, expected)), "");
}

TEST(ClapHostileHost, ValuesOutsideTheRangeAreHeldAtItsEnds) {
    const Stereo input(2000, 10);
    const double nan = std::nan("");
    const struct {
        double level, delay, levelHeld, delayHeld;
    } cases[] = {{nan, 2.0, 0.0, 2.0},   {-5.0, nan, 0.0, 0.0},           {250.0, 40.0, 100.0, kLongestDelay},
                 {HUGE_VAL, -HUGE_VAL, 100.0, 0.0}, {1e-320, 1e300, 1e-320, kLongestDelay}};
    for (const auto& c : cases) {
        TestHost host;
        ClapInstance instance(clapLibrary(), host);
        ASSERT_TRUE(instance.activate());
        const Stereo out =
            renderClap(instance, input, {700}, {{0, kLevelParameter, c.level}, {0, kDelayParameter, c.delay}});
        EXPECT_EQ(instance.value(kLevelParameter), c.levelHeld);
        EXPECT_EQ(instance.value(kDelayParameter), c.delayHeld);
        const std::vector<Change> held = {{0, kLevelParameter, c.levelHeld}, {0, kDelayParameter, c.delayHeld}};
        EXPECT_EQ(bitDifference(out, renderProcessor(input, 0, held)), "") << c.level << " %, " << c.delay << " ms";
    }
}

TEST(ClapHostileHost, AHostWithoutExtensionsGetsEverythingButNews) {
    TestHost host(false);
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance);
    EXPECT_TRUE(instance.loadPreset("3"));
    EXPECT_FALSE(instance.loadPreset("9"));
    const std::vector<std::uint8_t> state = instance.saveState();
    EXPECT_TRUE(instance.loadState(state));
    ASSERT_TRUE(instance.activate());
    EXPECT_TRUE(instance.loadPreset("1"));
    const Stereo input(800, 2);
    EXPECT_EQ(bitDifference(renderClap(instance, input, {100}, {}), renderProcessor(input, 1, {})), "");

    // Nor even a way to ask for them.
    clap_host_t bare = *host.record();
    bare.get_extension = nullptr;
    const clap_plugin_factory_t* factory = clapLibrary().pluginFactory();
    const clap_plugin_t* plugin = factory->create_plugin(factory, &bare, "org.crossfeed.crossfeed");
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->init(plugin));
    EXPECT_TRUE(plugin->activate(plugin, 48000.0, 1, 64));
    plugin->destroy(plugin);  // still active: the host's mistake, not a crash
}

// The audio thread processes while the main thread loads programs and
// states; afterwards the last load holds.
TEST(ClapHostileHost, LoadsFromTheMainThreadReachTheAudioThreadWhole) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.activate());
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        Stereo in(128, 3), out(128);
        while (!stop.load()) instance.process(in.channels(), out.channels(), 0, 128, nullptr);
    });
    ClapInstance other(clapLibrary(), host);
    ASSERT_TRUE(other.loadPreset("2"));
    const std::vector<std::uint8_t> bigHead = other.saveState();
    for (int round = 0; round < 2000; ++round) {
        if (round % 2)
            instance.loadPreset(std::to_string(round % 4).c_str());
        else
            instance.loadState(bigHead);
    }
    instance.loadPreset("3");
    stop = true;
    audio.join();
    instance.plugin()->reset(instance.plugin());
    const Stereo input(600, 4);
    EXPECT_EQ(bitDifference(renderClap(instance, input, {600}, {}), renderProcessor(input, 3, {})), "");
    EXPECT_EQ(instance.value(kLevelParameter), 25.0);
}

}  // namespace
