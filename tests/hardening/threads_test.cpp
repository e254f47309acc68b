// Separate effects share nothing: eight effects live their whole lives on
// eight threads at once. Each thread checks its own results against the
// oracle; the ThreadSanitizer build checks the memory accesses.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/module_under_test.h"
#include "support/reference_crossfeed.h"

namespace {

constexpr int kThreads = 8;

// Returns an empty string when everything matched, else what went wrong.
std::string runOneEffect(int id, std::atomic<int>& ready) {
    // Start together, so the lives overlap.
    ready.fetch_add(1);
    while (ready.load() < kThreads) std::this_thread::yield();

    for (int life = 0; life < 3; ++life) {
        EffectInstance effect = newEffect();
        if (!effect) return "no effect";
        const int program = (id + life) % 4;
        effect.setProgram(program);
        const std::string name = "Thread " + std::to_string(id) + " life " + std::to_string(life);
        effect.setProgramName(name);
        const float level = 0.1f * static_cast<float>(id % 8);
        const float delay = 0.07f * static_cast<float>(id + life);
        effect.setParameter(0, level);
        effect.setParameter(1, delay);
        effect.setSampleRate(8000.0f * static_cast<float>(id + 1));
        effect.setBlockSize(64 + id);
        effect.power(true);
        if (effect.program() != program || effect.programName() != name || effect.getParameter(0) != level ||
            effect.getParameter(1) != delay || effect.parameterName(1) != "Inter-Aural" ||
            effect.parameterLabel(0) != "X-Over (%)" || effect.parameterDisplay(0).size() != 8)
            return "control state of thread " + std::to_string(id);

        ReferenceCrossfeed oracle;
        oracle.setParameters(level, delay);
        const int block = 61 + 17 * id;
        for (int b = 0; b < 12; ++b) {
            const std::uint32_t seed = static_cast<std::uint32_t>(1000 * id + 10 * life + b + 1);
            std::vector<float> left = noise(block, seed), right = noise(block, seed + 500);
            std::vector<float> expectedLeft(block), expectedRight(block);
            oracle.process(left.data(), right.data(), expectedLeft.data(), expectedRight.data(), block, false);
            float* channels[2] = {left.data(), right.data()};
            effect.processReplacing(channels, channels, block);
            for (int i = 0; i < block; ++i)
                if (bitsOf(left[i]) != bitsOf(expectedLeft[i]) || bitsOf(right[i]) != bitsOf(expectedRight[i]))
                    return "samples of thread " + std::to_string(id) + " block " + std::to_string(b);
            if (b == 6) {
                effect.power(false);
                oracle.suspend();
            }
        }
        if (effect.close() != 1) return "close of thread " + std::to_string(id);
    }
    return {};
}

TEST(Threads, EightEffectsOnEightThreadsShareNothing) {
    // Set by the wine runner where 32-bit programs run under qemu-i386: a
    // 32-bit wine there crashes with eight threads running at once.
    if (std::getenv("CROSSFEED_I386_EMULATED"))
        GTEST_SKIP() << "32-bit programs run under qemu-i386 on this machine, where a 32-bit wine crashes with "
                        "eight threads running at once; this test runs wherever the kernel runs 32-bit programs";
    moduleUnderTest();  // loaded once, before the threads race for it
    std::atomic<int> ready{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id)
        threads.emplace_back([id, &ready, &failures] { failures[id] = runOneEffect(id, ready); });
    for (std::thread& thread : threads) thread.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

}  // namespace
