// The flag a signal handler may set: a lock-free atomic.
#include "apps/mirel/interrupt.h"

#include <atomic>
#include <csignal>

namespace mirel::host_app {

namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int) {
    gInterrupted = true;
}

}  // namespace

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and writes go on after the handler: the run stops at its next abort poll.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool interruptRequested() {
    return gInterrupted;
}

}  // namespace mirel::host_app
