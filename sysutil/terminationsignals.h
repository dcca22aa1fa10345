#pragma once
// SIGTERM (a log-out, kill) and SIGINT (Ctrl+C) handed to the event loop: the
// signal handler only writes the signal's number to a pipe, a socket notifier
// on the other end calls the program's reaction. After the first signal of a
// kind that kind takes its default action again, so a second Ctrl+C while the
// program is still winding down ends the process at once.

#include <functional>

namespace sysutil {

// With the application object in place; once per process. The reaction runs
// in the event loop, with the signal's number. False when the pipe or the
// handlers cannot be set up (the signals then keep their default action) or
// when a reaction is already installed.
bool onTerminationSignals(std::function<void(int signalNumber)> reaction);

}  // namespace sysutil
