// Ctrl-C, the command line's cancel: the signal handler raises a flag that the
// host's abort polls read through the run's feedback.
#pragma once

namespace mirel::host_app {

// Installs the handler for SIGINT.
void catchInterrupt();

// True from the first Ctrl-C on.
bool interruptRequested();

}  // namespace mirel::host_app
