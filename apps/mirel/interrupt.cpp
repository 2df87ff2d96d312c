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
    std::signal(SIGINT, onInterrupt);
}

bool interruptRequested() {
    return gInterrupted;
}

}  // namespace mirel::host_app
