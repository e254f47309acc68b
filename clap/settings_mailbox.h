// Settings the main thread loads (a program, a saved state) while the
// audio thread processes: the main thread posts them, the audio thread
// takes them at its next block, and neither ever waits for the other.
#pragma once

#include <atomic>
#include <cstdint>

#include "clap/state_format.h"

namespace crossfeed_clap {

class SettingsMailbox {
public:
    SettingsMailbox() noexcept = default;
    SettingsMailbox(const SettingsMailbox&) = delete;
    SettingsMailbox& operator=(const SettingsMailbox&) = delete;

    // From one thread only.
    void post(const Settings& settings) noexcept {
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (int i = 0; i < crossfeed::kParameterCount; ++i) plain_[i].store(settings.plain[i], std::memory_order_relaxed);
        program_.store(settings.program, std::memory_order_relaxed);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // True with the settings posted last, once each; false when nothing new
    // was posted, or when a post is under way (it is taken next time).
    bool take(Settings& settings) noexcept {
        const std::uint32_t sequence = sequence_.load(std::memory_order_acquire);
        if (sequence == taken_ || (sequence & 1) != 0) return false;
        Settings read;
        for (int i = 0; i < crossfeed::kParameterCount; ++i) read.plain[i] = plain_[i].load(std::memory_order_relaxed);
        read.program = program_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) != sequence) return false;
        taken_ = sequence;
        settings = read;
        return true;
    }

private:
    std::atomic<std::uint32_t> sequence_{0};  // odd while a post is being written
    std::atomic<double> plain_[crossfeed::kParameterCount] = {};
    std::atomic<std::int32_t> program_{0};
    std::uint32_t taken_ = 0;  // the taker's own
};

}  // namespace crossfeed_clap
