// A one-line progress bar on stderr.
#include "apps/mirel/progress.h"

#include <algorithm>
#include <cstdio>

#include "apps/mirel/interrupt.h"
#include "platform/os/os.h"

namespace mirel::host_app {

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

bool onTerminal() {
    return os::isTerminal(os::kStandardError);
}

}  // namespace

void ProgressBar::begin(int items) {
    start_ = Clock::now();
    lastDraw_ = {};
    drawn_ = false;
    items_ = std::max(items, 1);
    item_ = 0;
}

void ProgressBar::startItem(int index) {
    item_ = std::clamp(index, 0, items_ - 1);
}

void ProgressBar::report(std::int32_t done, std::int32_t total) {
    if (!onTerminal() || total <= 0) return;
    const auto now = Clock::now();
    if (drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    drawn_ = true;
    const double part = std::clamp(double(done) / double(total), 0.0, 1.0);
    const double fraction = (item_ + part) / items_;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const int filled = int(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    char count[32] = "";
    if (items_ > 1) std::snprintf(count, sizeof count, "  %d/%d", item_ + 1, items_);
    if (fraction > 0.01) {
        const double left = elapsed * (1.0 - fraction) / fraction;
        std::fprintf(stderr, "\r[%s] %3d%%%s  %.0f s left ", bar, int(fraction * 100.0), count,
                     left);
    } else {
        std::fprintf(stderr, "\r[%s] %3d%%%s  ", bar, int(fraction * 100.0), count);
    }
    std::fflush(stderr);
}

void ProgressBar::clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 36, "");
    std::fflush(stderr);
    drawn_ = false;
}

hostkit::RunFeedback commandLineFeedback(ProgressBar* bar) {
    hostkit::RunFeedback feedback;
    feedback.cancelRequested = &interruptRequested;
    if (bar) {
        feedback.progress = [bar](std::int32_t done, std::int32_t total) {
            bar->report(done, total);
        };
    }
    return feedback;
}

}  // namespace mirel::host_app
