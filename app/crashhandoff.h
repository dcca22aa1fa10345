#pragma once
// Hands a crashing process to the sibling `dumper` program: on a fatal signal
// the handler starts "dumper PID TID ADDRESS", waits for it, then lets the
// signal take its default course. Without a dumper the default action follows
// at once.

#include <QString>

namespace app {

// How long a crashing process waits for the dumper before it ends anyway.
constexpr unsigned kDefaultHandoffSeconds = 120;

// Prepares everything the handler needs (it may only make async-signal-safe
// calls) and installs it for SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT and
// SIGTRAP. The calling thread gets an alternate signal stack; other threads
// the program starts call sysutil::ensureAlternateSignalStack().
void installCrashHandoff(const QString& dumperPath, unsigned handoffSeconds = kDefaultHandoffSeconds);

}  // namespace app
