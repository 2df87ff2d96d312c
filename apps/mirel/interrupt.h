// Ctrl-C, the command line's cancel, and the signals that end a program (SIGTERM,
// SIGHUP; on Windows Ctrl-Break and closing the console): the handler raises a flag
// that the host's abort polls read through the run's feedback, so that every way
// of stopping a run leaves no half-written file.
#pragma once

namespace mirel::host_app {

// Installs the handler for SIGINT, SIGTERM and SIGHUP, and ignores SIGPIPE so that a
// closed standard output is a write error rather than the end of the program; on
// Windows the console's control handler.
void catchInterrupt();

// True from the first of those signals on.
bool interruptRequested();

}  // namespace mirel::host_app
