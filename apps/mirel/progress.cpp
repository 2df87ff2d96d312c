// A one-line progress bar on stderr.
#include "apps/mirel/progress.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace mirel::host_app {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

Clock::time_point gStart = Clock::now();
Clock::time_point gLastDraw{};
bool gDrawn = false;

bool onTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace

void beginProgress() {
    gStart = Clock::now();
    gLastDraw = {};
    gDrawn = false;
}

void reportProgress(std::int32_t done, std::int32_t total) {
    if (!onTerminal() || total <= 0) return;
    const auto now = Clock::now();
    if (gDrawn && now - gLastDraw < kRedrawInterval) return;
    gLastDraw = now;
    gDrawn = true;
    const double fraction = std::clamp(double(done) / double(total), 0.0, 1.0);
    const double elapsed = std::chrono::duration<double>(now - gStart).count();
    const int filled = int(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    if (fraction > 0.01) {
        const double left = elapsed * (1.0 - fraction) / fraction;
        std::fprintf(stderr, "\r[%s] %3d%%  %.0f s left ", bar, int(fraction * 100.0), left);
    } else {
        std::fprintf(stderr, "\r[%s] %3d%%  ", bar, int(fraction * 100.0));
    }
    std::fflush(stderr);
}

void endProgress() {
    if (!gDrawn) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 24, "");
    std::fflush(stderr);
    gDrawn = false;
}

}  // namespace mirel::host_app
