// Auto-reset events and "wait for any" on the C++ runtime's mutex and condition
// variable, the same on every system. The render's pool waits on up to 200
// events at once, more than the system's own wait for several objects takes.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/os/os.h"

namespace mirel::os {

namespace {

// All events share one mutex and one condition variable. A waiter on several
// events then needs no registration with each of them, and a set() can never
// slip between a waiter's check and its sleep. The pool has at most 100
// slots, so waking every waiter on each set() costs nothing worth a finer
// design.
struct EventHub {
    std::mutex mutex;
    std::condition_variable changed;
};

EventHub& hub() {
    // Never destroyed: a worker may still set an event while the process
    // runs its exit-time destructors.
    static EventHub* instance = new EventHub;
    return *instance;
}

// Waits on the hub until `ready` holds or the time-out passes; the lock is held
// on return. Returns the last value of `ready`.
template <typename Ready>
bool waitOnHub(std::unique_lock<std::mutex>& lock, std::uint32_t timeoutMs, Ready ready) {
    if (timeoutMs == kInfinite) {
        hub().changed.wait(lock, ready);
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return hub().changed.wait_until(lock, deadline, ready);
}

}  // namespace

// ---- Events -----------------------------------------------------------------

Event::Event() = default;
Event::~Event() = default;

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(hub().mutex);
        signalled_ = true;
    }
    hub().changed.notify_all();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(hub().mutex);
    signalled_ = false;
}

bool Event::wait(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(hub().mutex);
    if (!waitOnHub(lock, timeoutMs, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
}

int waitForAny(std::span<Event* const> events, std::uint32_t timeoutMs) {
    if (events.empty()) return -1;  // nothing could ever wake us
    std::unique_lock<std::mutex> lock(hub().mutex);
    int found = -1;
    const auto lowestSet = [&] {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i] && events[i]->signalled_) {
                found = static_cast<int>(i);
                return true;
            }
        }
        return false;
    };
    if (!waitOnHub(lock, timeoutMs, lowestSet)) return -1;
    events[static_cast<std::size_t>(found)]->signalled_ = false;
    return found;
}

}  // namespace mirel::os
