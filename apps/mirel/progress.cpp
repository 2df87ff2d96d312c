// A one-line progress bar on stderr.
#include "apps/mirel/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "apps/mirel/interrupt.h"

namespace mirel::host_app {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

bool onTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace

void ProgressBar::begin() {
    start_ = Clock::now();
    lastDraw_ = {};
    drawn_ = false;
}

void ProgressBar::report(std::int32_t done, std::int32_t total) {
    if (!onTerminal() || total <= 0) return;
    const auto now = Clock::now();
    if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    drawn_ = true;
    const double fraction = std::clamp(double(done) / double(total), 0.0, 1.0);
    const double elapsed = std::chrono::duration<double>(now - start_).count();
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

void ProgressBar::end() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 24, "");
    std::fflush(stderr);
    drawn_ = false;
}

hostkit::RunFeedback commandLineFeedback(ProgressBar* bar) {
    hostkit::RunFeedback feedback;
    feedback.cancelRequested = &interruptRequested;
    if (bar) {
        feedback.started = [bar] { bar->begin(); };
        feedback.progress = [bar](std::int32_t done, std::int32_t total) {
            bar->report(done, total);
        };
        feedback.ended = [bar] { bar->end(); };
    }
    return feedback;
}

}  // namespace mirel::host_app
