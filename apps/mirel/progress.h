// The host's progress display: a bar on stderr with the percentage and the
// time left, drawn only when stderr is a terminal.
#pragma once

#include <cstdint>

namespace mirel::host_app {

// Starts timing a new piece of work.
void beginProgress();
// Draws done / total, at most a few times a second.
void reportProgress(std::int32_t done, std::int32_t total);
// Clears the bar.
void endProgress();

}  // namespace mirel::host_app
