// What a program shows and answers while the filter runs: the progress the
// filter reports, and whether the user has asked to cancel. A command-line
// program draws a bar and answers Ctrl-C; a paint program uses its own.
#pragma once

#include <cstdint>
#include <functional>

namespace mirel::hostkit {

// Every member may be left empty.
struct RunFeedback {
    std::function<void()> started;  // a whole run begins
    std::function<void(std::int32_t done, std::int32_t total)> progress;
    std::function<void()> ended;  // the run is over, however it ended
    // Asked on every abort poll of the filter.
    std::function<bool()> cancelRequested;
};

}  // namespace mirel::hostkit
