// What a CLAP host reads from the plug-in file before and after it makes an
// instance: the entry and its factories, the descriptor, the ports, the
// parameters and their texts, and the programs through preset discovery
// and preset loading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "clap/clap_fixture.h"
#include "support/module_under_test.h"

namespace {

using crossfeed::kDelayParameter;
using crossfeed::kLevelParameter;

TEST(ClapEntry, OffersOnePluginAndItsPresetsAndNothingElse) {
    const clap_plugin_entry_t& entry = clapLibrary().entry();
    EXPECT_TRUE(clap_version_is_compatible(entry.clap_version));
    EXPECT_TRUE(entry.init("again"));  // hosts may call it more than once
    entry.deinit();
    EXPECT_EQ(entry.get_factory("clap.unknown-factory"), nullptr);
    EXPECT_EQ(entry.get_factory(nullptr), nullptr);
    EXPECT_EQ(entry.get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), clapLibrary().presetFactory());

    const clap_plugin_factory_t* factory = clapLibrary().pluginFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->get_plugin_count(factory), 1u);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    const clap_plugin_descriptor_t* descriptor = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->id, "org.crossfeed.crossfeed");
    EXPECT_STREQ(descriptor->name, "Crossfeed");
    EXPECT_STREQ(descriptor->vendor, "The Crossfeed developers");
    EXPECT_STREQ(descriptor->version, crossfeed::versionText(crossfeed::kVersion).text);
    EXPECT_GT(std::strlen(descriptor->description), 20u);
    ASSERT_NE(descriptor->features, nullptr);
    EXPECT_STREQ(descriptor->features[0], "audio-effect");
    EXPECT_STREQ(descriptor->features[1], "stereo");
    EXPECT_EQ(descriptor->features[2], nullptr);

    TestHost host;
    EXPECT_FALSE(ClapInstance(clapLibrary(), host, "org.crossfeed.other"));
    EXPECT_EQ(factory->create_plugin(factory, host.record(), nullptr), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, nullptr, descriptor->id), nullptr);
}

TEST(ClapInstance, HasOneStereoPortEachWayNoLatencyAndTheDelayAsTail) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance);
    const auto* ports = instance.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(ports, nullptr);
    for (bool input : {true, false}) {
        ASSERT_EQ(ports->count(instance.plugin(), input), 1u);
        clap_audio_port_info_t info;
        ASSERT_TRUE(ports->get(instance.plugin(), 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
        EXPECT_EQ(info.in_place_pair, info.id) << "in place allowed";
        EXPECT_FALSE(ports->get(instance.plugin(), 1, input, &info));
        EXPECT_FALSE(ports->get(instance.plugin(), 0, input, nullptr));
    }
    const auto* latency = instance.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    ASSERT_TRUE(latency && instance.activate());
    EXPECT_EQ(latency->get(instance.plugin()), 0u);
    const auto* tail = instance.extension<clap_plugin_tail_t>(CLAP_EXT_TAIL);
    ASSERT_NE(tail, nullptr);
    const std::uint32_t programTails[] = {92, 71, 511, 51};  // each program's delay in samples
    for (std::int32_t program = 0; program < crossfeed::kPresetCount; ++program) {
        ASSERT_TRUE(instance.loadPreset(std::to_string(program).c_str()));
        EXPECT_EQ(tail->get(instance.plugin()), programTails[program]) << program;
    }
    EXPECT_EQ(instance.extension<void>("clap.gui"), nullptr);
    EXPECT_EQ(instance.extension<void>(nullptr), nullptr);
}

TEST(ClapParameters, TheLv2PortsRangesUnitsAndDefaultsAutomatable) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    const clap_plugin_params_t& params = instance.params();
    ASSERT_EQ(params.count(instance.plugin()), 2u);
    const char* names[] = {"Level", "Delay"};
    const double maxima[] = {100.0, 512.0 / 44.1}, defaults[] = {30.0, 2.089796};
    for (std::uint32_t index = 0; index < 2; ++index) {
        clap_param_info_t info;
        ASSERT_TRUE(params.get_info(instance.plugin(), index, &info));
        EXPECT_EQ(info.id, index);
        EXPECT_STREQ(info.name, names[index]);
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, maxima[index]);
        EXPECT_EQ(info.default_value, defaults[index]);
        EXPECT_EQ(instance.value(index), defaults[index]);
        EXPECT_TRUE(info.flags & CLAP_PARAM_IS_AUTOMATABLE);
        EXPECT_FALSE(info.flags & (CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_READONLY | CLAP_PARAM_IS_HIDDEN));
    }
    clap_param_info_t info;
    EXPECT_FALSE(params.get_info(instance.plugin(), 2, &info));
    double value;
    EXPECT_FALSE(params.get_value(instance.plugin(), 2, &value));
    EXPECT_FALSE(params.get_value(instance.plugin(), CLAP_INVALID_ID, &value));
    EXPECT_FALSE(params.get_value(instance.plugin(), 0, nullptr));
}

std::string textOf(ClapInstance& instance, clap_id id, double value, std::uint32_t capacity = 64) {
    char text[64];
    return instance.params().value_to_text(instance.plugin(), id, value, text, capacity) ? text : "(refused)";
}

std::string trimmed(const std::string& text) { return text.substr(text.find_first_not_of(' ')); }

TEST(ClapParameters, TextsAreTheVstDisplaysWithTheUnit) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    EffectInstance effect = newEffect();
    const std::vector<Change> settings = randomChanges(40, 2, 5);
    for (const Change& change : settings) {
        effect.setParameter(change.parameter, crossfeed::parameterFromPlain(change.parameter, change.plain));
        const std::string display = trimmed(effect.parameterDisplay(change.parameter));
        const std::string unit = crossfeed::kParameters[change.parameter].unit;
        const std::string text = textOf(instance, change.parameter, change.plain);
        EXPECT_EQ(text, display + " " + unit);
        double back = -1.0;
        ASSERT_TRUE(instance.params().text_to_value(instance.plugin(), change.parameter, text.c_str(), &back))
            << text;
        // The display cuts digits off, so the text reads back to its own
        // number, a last digit's step from the value.
        EXPECT_EQ(back, std::stod(text)) << text;
        EXPECT_NEAR(back, change.plain, crossfeed::kParameters[change.parameter].maximum * 1e-6) << text;
    }
    EXPECT_EQ(textOf(instance, kLevelParameter, 45.0), "45.00000 %");
    EXPECT_EQ(textOf(instance, kDelayParameter, 1.625396), "1.625396 ms at 44.1 kHz");
    EXPECT_EQ(textOf(instance, kDelayParameter, 1e300), "11.60997 ms at 44.1 kHz") << "held to the range";
    EXPECT_EQ(textOf(instance, kLevelParameter, std::nan("")), "0.000000 %");
    EXPECT_EQ(textOf(instance, kLevelParameter, 45.0, 10), "(refused)") << "too small for the text";
    EXPECT_EQ(textOf(instance, kLevelParameter, 45.0, 11), "45.00000 %");
    EXPECT_EQ(textOf(instance, 2, 45.0), "(refused)");
}

TEST(ClapParameters, TextsReadBackWithOrWithoutTheUnitAndNothingElse) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    const struct {
        clap_id id;
        const char* text;
        double value;
    } good[] = {{0, "45", 45.0},   {0, " 45.5 %", 45.5},         {0, "100%", 100.0},           {0, "0", 0.0},
                {1, "2 ms", 2.0},  {1, "2 ms at 44.1 kHz", 2.0}, {1, "11.60998", kLongestDelay}, {1, ".5", 0.5},
                {1, "1.625396 ms ", 1.625396}, {1, "2.0897960000000002", 2.089796},
                {0, "0.00000000000000000000000001", 0.0}, {0, "007.", 7.0}};
    for (const auto& c : good) {
        double value = -1.0;
        EXPECT_TRUE(instance.params().text_to_value(instance.plugin(), c.id, c.text, &value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    const struct {
        clap_id id;
        const char* text;
    } bad[] = {{0, ""},       {0, "abc"},   {0, "1e1"},  {0, "0x10"}, {0, "nan"},        {0, "inf"},
               {0, "-1"},     {0, "100.5"}, {0, "30 s"}, {0, "30 %%"}, {1, "2 ms at 48"}, {1, "11.61"},
               {1, "2 m"},    {2, "1"},     {0, "4 5"},  {0, "."},    {0, "+5"},         {0, "1.2.3"},
               {0, "12345678901234567890"}};
    for (const auto& c : bad) {
        double value = -1.0;
        EXPECT_FALSE(instance.params().text_to_value(instance.plugin(), c.id, c.text, &value)) << c.text;
        EXPECT_EQ(value, -1.0) << c.text;
    }
    double value;
    EXPECT_FALSE(instance.params().text_to_value(instance.plugin(), 0, nullptr, &value));
    EXPECT_FALSE(instance.params().text_to_value(instance.plugin(), 0, "1", nullptr));
}

// Collects what a provider tells an indexer and a metadata receiver.
struct Index {
    std::vector<clap_preset_discovery_location_t> locations;
    std::vector<std::string> names, keys, pluginIds;
    std::vector<std::uint32_t> flags;
    std::size_t stopAfter = 100;
};

TEST(ClapPresets, DiscoveryListsTheFourProgramsInsideThePlugin) {
    const clap_preset_discovery_factory_t* factory = clapLibrary().presetFactory();
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->count(factory), 1u);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    const clap_preset_discovery_provider_descriptor_t* descriptor = factory->get_descriptor(factory, 0);
    ASSERT_NE(descriptor, nullptr);

    Index index;
    clap_preset_discovery_indexer_t indexer{CLAP_VERSION_INIT, "tests", "", "", "", &index, nullptr, nullptr,
                                            nullptr, nullptr};
    indexer.declare_location = [](const clap_preset_discovery_indexer_t* indexer,
                                  const clap_preset_discovery_location_t* location) {
        static_cast<Index*>(indexer->indexer_data)->locations.push_back(*location);
        return true;
    };
    EXPECT_EQ(factory->create(factory, &indexer, "org.crossfeed.other"), nullptr);
    const clap_preset_discovery_provider_t* provider = factory->create(factory, &indexer, descriptor->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(index.locations.size(), 1u);
    EXPECT_EQ(index.locations[0].kind, static_cast<std::uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(index.locations[0].location, nullptr);

    clap_preset_discovery_metadata_receiver_t receiver{};
    receiver.receiver_data = &index;
    receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* receiver, const char* name,
                               const char* key) {
        Index& index = *static_cast<Index*>(receiver->receiver_data);
        index.names.push_back(name);
        index.keys.push_back(key);
        return index.names.size() < index.stopAfter;
    };
    receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* receiver,
                                const clap_universal_plugin_id_t* id) {
        static_cast<Index*>(receiver->receiver_data)->pluginIds.push_back(std::string(id->abi) + ":" + id->id);
    };
    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &receiver));
    EXPECT_EQ(index.names, (std::vector<std::string>{"Bedroom studio", "Lounge room", "Big Head", "Car stereo"}));
    EXPECT_EQ(index.keys, (std::vector<std::string>{"0", "1", "2", "3"}));
    EXPECT_EQ(index.pluginIds, std::vector<std::string>(4, "clap:org.crossfeed.crossfeed"));

    index.names.clear();
    index.stopAfter = 2;
    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &receiver));
    EXPECT_EQ(index.names.size(), 2u) << "the receiver said stop";
    EXPECT_FALSE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/x", &receiver));
    receiver.add_plugin_id = nullptr;  // a receiver without it is served too
    EXPECT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &receiver));
    provider->destroy(provider);
}

TEST(ClapPresets, LoadingByKeySetsTheProgramAndTellsTheHost) {
    TestHost host;
    ClapInstance instance(clapLibrary(), host);
    ASSERT_TRUE(instance.loadPreset("2"));
    EXPECT_EQ(instance.value(kLevelParameter), 20.0);
    EXPECT_EQ(instance.value(kDelayParameter), 11.609977) << "the longest delay, within the range";
    ASSERT_TRUE(instance.loadPreset("1"));
    EXPECT_EQ(textOf(instance, kDelayParameter, instance.value(kDelayParameter)), "1.625396 ms at 44.1 kHz");
    EXPECT_EQ(host.log.loadedKeys, (std::vector<std::string>{"2", "1"}));
    EXPECT_GE(host.log.rescans, 2) << "the host rereads the values";
    for (const char* key : {"4", "", "01", "-1", "1 ", "Big Head"}) EXPECT_FALSE(instance.loadPreset(key)) << key;
    EXPECT_FALSE(instance.loadPreset(nullptr));
    EXPECT_FALSE(instance.loadPreset("0", CLAP_PRESET_DISCOVERY_LOCATION_FILE));
    EXPECT_EQ(host.log.loadErrors, 8);
    EXPECT_EQ(instance.value(kLevelParameter), 45.0) << "a refused load changes nothing";
}

}  // namespace
