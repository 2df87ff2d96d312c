// The command line's feedback while the filter runs: one progress line on stderr for
// the whole command (a batch of pictures too), and Ctrl-C as the cancel.
#pragma once

#include <chrono>
#include <cstdint>

#include "apps/host/run_feedback.h"

namespace mirel::host_app {

// Drawn only when stderr is a terminal, at most a few times a second.
class ProgressBar {
  public:
    // Starts timing the work of `items` pictures.
    void begin(int items = 1);
    // The picture (0 ..) now being filtered.
    void startItem(int index);
    // Draws done / total of the current picture within the whole, with the time left.
    void report(std::int32_t done, std::int32_t total);
    // Clears the line, so that a message can be printed; the next report draws it again.
    void clear();
    // Clears the bar at the end of the work.
    void end() { clear(); }

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
    bool drawn_ = false;
    int items_ = 1;
    int item_ = 0;
};

// Ctrl-C (and SIGTERM, SIGHUP) cancels; `bar`, when given, shows the run's progress.
hostkit::RunFeedback commandLineFeedback(ProgressBar* bar);

}  // namespace mirel::host_app
