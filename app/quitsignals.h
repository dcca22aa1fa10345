#pragma once
// SIGTERM (a log-out, kill) and SIGINT (Ctrl+C) end the program the way
// closing its window does: the windows close and the event loop returns, so
// everything saved at the end is saved. The signal handler only writes to a
// pipe; the event loop does the rest. A second signal of the same kind while
// closing ends the process at once.

namespace app {

// With the application object in place. False when the pipe or the handlers
// cannot be set up (the signals then keep their default action).
bool quitOnTerminationSignals();

}  // namespace app
