// The command line's feedback while the filter runs: a one-line progress bar on
// stderr, and Ctrl-C as the cancel.
#pragma once

#include <chrono>
#include <cstdint>

#include "apps/host/run_feedback.h"

namespace mirel::host_app {

// Drawn only when stderr is a terminal, at most a few times a second.
class ProgressBar {
  public:
    // Starts timing a new piece of work.
    void begin();
    // Draws done / total with the time left.
    void report(std::int32_t done, std::int32_t total);
    // Clears the bar.
    void end();

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
};

// Ctrl-C cancels; `bar`, when given, shows the run's progress.
hostkit::RunFeedback commandLineFeedback(ProgressBar* bar);

}  // namespace mirel::host_app
