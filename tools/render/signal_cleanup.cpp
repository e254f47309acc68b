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
std::sig_atomic_t claimed[kSlots];

void removePending() {
    for (int i = 0; i < kSlots; ++i)
        if (pendingSet[i]) unlink(pendingPaths[i]);
}

extern "C" void removePendingAndExit(int signal) {
    removePending();
    _exit(signal == SIGINT ? 130 : 128 + signal);
}

// The handler was installed to run once: the signal, raised again, now
// takes its default action (a core dump where one is due).
extern "C" void removePendingAndRaise(int signal) {
    removePending();
    raise(signal);
}

// Requests to stop, whose default is to end the process quietly.
constexpr int kStopSignals[] = {SIGHUP, SIGINT,  SIGTERM, SIGUSR1, SIGUSR2,  SIGALRM,
                                SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGXCPU, SIGSTKFLT};
// Faults, and requests for a core dump.
constexpr int kFaultSignals[] = {SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

void install(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigfillset(&action.sa_mask);  // one cleanup at a time
    sigaction(signal, &action, nullptr);
}

}  // namespace

int claimSlot(const std::string& path) {
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
    __atomic_store_n(&claimed[slot], 0, __ATOMIC_RELEASE);
}

void watchSignals() {
    for (int signal : kStopSignals) install(signal, removePendingAndExit, 0);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) install(signal, removePendingAndExit, 0);
    for (int signal : kFaultSignals) install(signal, removePendingAndRaise, SA_RESETHAND | SA_NODEFER);
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
}
