// The system clock as the filter sees it (a wrapping millisecond tick and the
// UTC date) and the debugger output channel.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/os/os.h"

namespace mirel::os {

std::uint32_t tickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    // Unsigned arithmetic wraps at 2^64 and the cast keeps the low 32 bits,
    // which is how the system tick wraps about every 49.7 days.
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

UtcDate utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (now == static_cast<std::time_t>(-1) || !::gmtime_r(&now, &parts))
        return UtcDate{1970, 1, 1, 0, 0, 0};
    return UtcDate{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

void debugOutput(const char* text) {
    if (!text || !std::getenv("MIREL_DEBUG")) return;
    // One write call per message keeps lines from different threads whole.
    const char* rest = text;
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t put = ::write(STDERR_FILENO, rest, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // nowhere to report a failing stderr
        rest += put;
        left -= static_cast<std::size_t>(put);
    }
}

}  // namespace mirel::os
