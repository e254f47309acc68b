// Real-time safety and leaks. This program replaces malloc and its family,
// and operator new and delete, with counting versions; the module, loaded as
// a host loads it, reaches them through its own C++ runtime's calls to malloc.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <new>
#include <vector>

#include "support/module_under_test.h"
#if defined(CROSSFEED_LV2_BINARY)
#include "adapters/loaded_adapters.h"
#endif
#if defined(CROSSFEED_CLAP)
#include "clap/clap_host.h"
#endif

#if COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> releases{0};
// The counted allocation, from 1, that is refused; 0 refuses none.
std::atomic<long> refuseAt{0};

struct Counts {
    long allocations, releases;
};

// Counts what `work` allocates and frees; no assertion may run inside it,
// since the test framework allocates too.
template <typename Work>
Counts countDuring(Work&& work) {
    allocations = 0;
    releases = 0;
    counting = true;
    work();
    counting = false;
    return {allocations.load(), releases.load()};
}

}  // namespace

#if COUNT_ALLOCATIONS
namespace {

// True when this allocation is to fail.
bool noteAllocation() {
    if (!counting.load(std::memory_order_relaxed)) return false;
    return allocations.fetch_add(1, std::memory_order_relaxed) + 1 == refuseAt.load(std::memory_order_relaxed);
}

void noteRelease(void* pointer) {
    if (pointer && counting.load(std::memory_order_relaxed)) releases.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) noexcept {
    if (noteAllocation()) return nullptr;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    if (noteAllocation()) return nullptr;
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) noexcept {
    if (noteAllocation()) return nullptr;
    noteRelease(pointer);
    return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
    if (noteAllocation()) return nullptr;
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    if (noteAllocation()) return nullptr;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (noteAllocation()) return ENOMEM;
    *result = __libc_memalign(alignment, size);
    return *result ? 0 : ENOMEM;
}
void free(void* pointer) noexcept {
    noteRelease(pointer);
    __libc_free(pointer);
}
}

void* operator new(std::size_t size) {
    if (void* pointer = std::malloc(size ? size : 1)) return pointer;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
#endif

namespace {

#if COUNT_ALLOCATIONS
#define REQUIRE_COUNTING()
#else
#define REQUIRE_COUNTING() GTEST_SKIP() << "the sanitizer runtime owns the allocator here"
#endif

HostInt EFFECT_CALL refusingHost(EffectRecord*, std::int32_t, std::int32_t, HostInt, void*, float) { return 0; }

TEST(Allocator, InterceptionSeesTheModulesOwnAllocations) {
    REQUIRE_COUNTING();
    moduleUnderTest();
    EffectRecord* record = nullptr;
    const Counts made = countDuring([&] { record = moduleUnderTest().instantiate(); });
    ASSERT_NE(record, nullptr);
    // The effect object, two rings and the program table at least.
    EXPECT_GE(made.allocations, 4);
    EXPECT_EQ(made.releases, 0);
    const Counts closed = countDuring([&] { record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f); });
    EXPECT_EQ(closed.allocations, 0);
    EXPECT_EQ(closed.releases, made.allocations);

    const Counts refused = countDuring([&] { record = moduleUnderTest().instantiate(refusingHost); });
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(refused.allocations, 0);
}

TEST(Allocator, AnEffectThatCannotBeMadeWholeIsNotMadeAtAll) {
    REQUIRE_COUNTING();
    moduleUnderTest();
    EffectRecord* record = nullptr;
    const long needed = countDuring([&] { record = moduleUnderTest().instantiate(); }).allocations;
    ASSERT_NE(record, nullptr);
    record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f);
    for (long refused = 1; refused <= needed; ++refused) {
        refuseAt = refused;
        const Counts counts = countDuring([&] { record = moduleUnderTest().instantiate(); });
        refuseAt = 0;
        EXPECT_EQ(record, nullptr) << "allocation " << refused << " refused";
        if (record) record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f);
        // Everything it did get, it gave back before answering null.
        EXPECT_EQ(counts.releases, counts.allocations - 1) << "allocation " << refused << " refused";
    }
}

TEST(RealTime, ProcessingControlAndTextCallsAllocateNothing) {
    REQUIRE_COUNTING();
    EffectInstance effect = newEffect();
    ASSERT_TRUE(effect);
    std::vector<float> left = noise(8192, 1), right = noise(8192, 2), outLeft(8192), outRight(8192);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    char text[64];
    char longName[300];
    std::memset(longName, 'n', sizeof longName - 1);
    longName[sizeof longName - 1] = '\0';
    float sink = 0.0f;

    const Counts counts = countDuring([&] {
        effect.dispatch(kEffectPower, 0, 1);
        for (std::int32_t frames : {1, 3, 64, 511, 512, 513, 4096, 8192, 0, -1}) {
            effect.processReplacing(in, out, frames);
            effect.processAdding(in, out, frames);
            effect.processReplacing(in, in, frames);
            effect.processAdding(out, out, frames);
        }
        for (std::int32_t program = -1; program <= 4; ++program) {
            effect.dispatch(kEffectSetProgram, 0, program);
            sink += static_cast<float>(effect.dispatch(kEffectGetProgram));
            effect.dispatch(kEffectSetProgramName, 0, 0, longName);
            effect.dispatch(kEffectGetProgramName, 0, 0, text);
        }
        for (float value : {0.0f, 0.5f, 1.0f, -3.0f, 1e30f, std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity()}) {
            for (std::int32_t index = -1; index <= 2; ++index) {
                effect.setParameter(index, value);
                sink += effect.getParameter(index);
                for (std::int32_t opcode : {kEffectGetParameterLabel, kEffectGetParameterDisplay,
                                            kEffectGetParameterName})
                    effect.dispatch(opcode, index, 0, text);
            }
        }
        effect.dispatch(kEffectGetVu);
        effect.dispatch(kEffectSetSampleRate, 0, 0, nullptr, 96000.0f);
        effect.dispatch(kEffectSetBlockSize, 0, 333);
        effect.dispatch(kEffectIdentify);
        effect.dispatch(kEffectPower, 0, 0);
        effect.processReplacing(in, out, 100);
    });
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    (void)sink;
}

TEST(Leaks, TenThousandLivesReturnEverything) {
    // Counted here; in the sanitizer build LeakSanitizer checks the same loop.
    moduleUnderTest();
    std::vector<float> left = noise(700, 3), right = noise(700, 4);
    float* channels[2] = {left.data(), right.data()};
    int failedCreations = 0;
    const Counts counts = countDuring([&] {
        for (int life = 0; life < 10000; ++life) {
            EffectRecord* record = moduleUnderTest().instantiate();
            if (!record) {
                ++failedCreations;
                continue;
            }
            record->dispatchEntry(record, kEffectSetProgram, 0, life % 4, nullptr, 0.0f);
            record->processReplacingEntry(record, channels, channels, 1 + life % 700);
            record->dispatchEntry(record, kEffectPower, 0, 0, nullptr, 0.0f);
            record->processEntry(record, channels, channels, 17);
            record->dispatchEntry(record, kEffectClose, 0, 0, nullptr, 0.0f);
        }
    });
    EXPECT_EQ(failedCreations, 0);
#if COUNT_ALLOCATIONS
    EXPECT_GE(counts.allocations, 40000);
#endif
    EXPECT_EQ(counts.allocations, counts.releases);
}

#if defined(CROSSFEED_LV2_BINARY)
// The plug-ins of the other interfaces: instantiate allocates, run and
// activate allocate nothing, cleanup gives everything back.
TEST(RealTime, AdaptersRunWithoutAllocatingAndCleanUpEverything) {
    REQUIRE_COUNTING();
    for (LoadedAdapter* adapter : {static_cast<LoadedAdapter*>(&lv2Adapter()), static_cast<LoadedAdapter*>(&ladspaAdapter())}) {
        std::unique_ptr<AdapterInstance> instance;
        const Counts made = countDuring([&] { instance = adapter->instantiate(48000.0); });
        ASSERT_TRUE(instance) << adapter->name();
        // The instance and its two rings at least.
        EXPECT_GE(made.allocations, 3) << adapter->name();
        std::vector<float> left = noise(4096, 1), right = noise(4096, 2), outLeft(4096), outRight(4096);
        float level = 45.0f, delay = 1.5f;
        const Counts running = countDuring([&] {
            instance->connect(kLevel, &level);
            instance->connect(kDelay, &delay);
            instance->activate();
            instance->connect(kInLeft, left.data());
            instance->connect(kInRight, right.data());
            instance->connect(kOutLeft, outLeft.data());
            instance->connect(kOutRight, outRight.data());
            for (std::uint32_t frames : {1u, 64u, 511u, 4096u, 0u}) instance->run(frames);
            level = std::numeric_limits<float>::quiet_NaN();
            delay = 1e30f;
            instance->run(4096);
            instance->connect(kInRight, nullptr);
            instance->run(4096);
            instance->activate();
        });
        EXPECT_EQ(running.allocations, 0) << adapter->name();
        EXPECT_EQ(running.releases, 0) << adapter->name();
        const Counts gone = countDuring([&] { instance.reset(); });
        EXPECT_EQ(gone.allocations, 0) << adapter->name();
        EXPECT_EQ(gone.releases, made.allocations) << adapter->name();
    }
}
#endif

#if defined(CROSSFEED_CLAP)
// The CLAP plug-in: create allocates; activation, processing with events,
// flushes, texts, program and state loads (the host offering nothing) and
// deactivation allocate nothing; destroy gives everything back.
TEST(RealTime, ClapPluginRunsAndLoadsWithoutAllocatingAndGivesEverythingBack) {
    REQUIRE_COUNTING();
    std::string error;
    const auto library = ClapLibrary::load(CROSSFEED_CLAP, error);
    ASSERT_TRUE(library) << error;
    TestHost host(false);
    std::unique_ptr<ClapInstance> instance;
    const Counts made = countDuring([&] { instance = std::make_unique<ClapInstance>(*library, host); });
    ASSERT_TRUE(*instance);
    EXPECT_GE(made.allocations, 3) << "the instance and its two rings at least";

    std::vector<float> left = noise(4096, 1), right = noise(4096, 2), outLeft(4096), outRight(4096);
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    EventList events;
    for (std::uint32_t time : {0u, 5u, 3u, 700u, 100000u}) events.add(time, time % 2, time * 0.01);
    events.add(9, 7, 1.0);
    const clap_input_events_t* list = events.list();
    const clap_plugin_t* plugin = instance->plugin();
    const auto& params = instance->params();
    const auto& state = *instance->extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    std::uint8_t saved[64];
    struct Fixed {
        std::uint8_t* bytes;
        std::size_t at, size;
    } writing{saved, 0, sizeof saved}, reading{saved, 0, 0};
    const clap_ostream_t saving{&writing, [](const clap_ostream_t* stream, const void* data, std::uint64_t size) {
                                        auto* into = static_cast<Fixed*>(stream->ctx);
                                        if (size > into->size - into->at) return std::int64_t{-1};
                                        std::memcpy(into->bytes + into->at, data, size);
                                        into->at += size;
                                        return static_cast<std::int64_t>(size);
                                    }};
    const clap_istream_t loading{&reading, [](const clap_istream_t* stream, void* data, std::uint64_t size) {
                                       auto* from = static_cast<Fixed*>(stream->ctx);
                                       const std::size_t count = std::min<std::size_t>(size, from->size - from->at);
                                       std::memcpy(data, from->bytes + from->at, count);
                                       from->at += count;
                                       return static_cast<std::int64_t>(count);
                                   }};
    char text[64];
    double value = 0.0;
    bool answered = true;
    const Counts running = countDuring([&] {
        answered = answered && instance->loadPreset("2") && instance->activate();
        for (std::uint32_t frames : {1u, 64u, 511u, 4096u, 0u}) {
            instance->process(in, out, 0, frames, list);
            instance->process(in, in, 0, frames, nullptr);
        }
        instance->flush(events);
        answered = answered && instance->loadPreset("1") && !instance->loadPreset("9");
        answered = answered && state.save(plugin, &saving);
        reading.size = writing.at;
        answered = answered && state.load(plugin, &loading);
        for (clap_id id : {0u, 1u, 2u}) {
            params.get_value(plugin, id, &value);
            params.value_to_text(plugin, id, 12.5, text, sizeof text);
            params.text_to_value(plugin, id, "7.25 ms", &value);
        }
        plugin->reset(plugin);
        instance->process(in, out, 0, 4096, list);
        instance->deactivate();
    });
    EXPECT_TRUE(answered);
    EXPECT_EQ(running.allocations, 0);
    EXPECT_EQ(running.releases, 0);
    const Counts gone = countDuring([&] { instance.reset(); });
    EXPECT_EQ(gone.allocations, 0);
    EXPECT_EQ(gone.releases, made.allocations);
}
#endif

}  // namespace
