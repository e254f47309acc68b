#include "render/signal_cleanup.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace {

// Temporary files a signal must remove: plain buffers, since the handler
// may only make async-signal-safe calls. One slot per concurrent render.
constexpr int kSlots = 256;
char pendingPaths[kSlots][4096];
volatile std::sig_atomic_t pendingSet[kSlots];

extern "C" void removePendingAndExit(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (pendingSet[i]) unlink(pendingPaths[i]);
    _exit(signal == SIGINT ? 130 : 128 + signal);
}

}  // namespace

int claimSlot(const std::string& path) {
    static std::sig_atomic_t claimed[kSlots];
    for (int i = 0; i < kSlots; ++i) {
        if (__atomic_exchange_n(&claimed[i], 1, __ATOMIC_ACQ_REL)) continue;
        if (path.size() >= sizeof pendingPaths[i]) {
            __atomic_store_n(&claimed[i], 0, __ATOMIC_RELEASE);
            return -1;
        }
        std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
        __atomic_store_n(&pendingSet[i], 1, __ATOMIC_RELEASE);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot < 0) return;
    __atomic_store_n(&pendingSet[slot], 0, __ATOMIC_RELEASE);
}

void watchSignals() {
    struct sigaction action {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A reader that goes away shows up as a write error, not a silent death.
    signal(SIGPIPE, SIG_IGN);
}
