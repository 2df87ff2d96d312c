// The flag the interruption handler sets: a lock-free atomic, read by the
// host's abort polls. POSIX signals, or the console's control events on Windows.
#include "apps/mirel/interrupt.h"

#include <atomic>
#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace mirel::host_app {

namespace {

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#if defined(_WIN32)
// How long a closing console waits for the run to stop and clean up; the
// system ends the process itself a few seconds after the event.
constexpr DWORD kCloseGraceMs = 4000;

// Ctrl-C and Ctrl-Break reach the C runtime's signals (and raise() too); the
// runtime puts a signal back to its default after each delivery.
void onInterrupt(int signal) {
    gInterrupted = true;
    std::signal(signal, onInterrupt);
}

// Closing the console, logging off or shutting down end the process once this
// handler returns, so it waits while the run stops and abandons its outputs.
BOOL WINAPI onConsoleEvent(DWORD event) {
    gInterrupted = true;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::Sleep(kCloseGraceMs);
    return TRUE;
}
#else
void onInterrupt(int) {
    gInterrupted = true;
}
#endif

}  // namespace

void catchInterrupt() {
#if defined(_WIN32)
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    for (int signal : {SIGINT, SIGBREAK, SIGTERM}) std::signal(signal, onInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and writes go on after the handler: the run stops at its next abort poll.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool interruptRequested() {
    return gInterrupted;
}

}  // namespace mirel::host_app
