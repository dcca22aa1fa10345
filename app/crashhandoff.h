#pragma once
// Hands a crashing process to the sibling `dumper` program: on a fatal signal
// the handler starts "dumper PID TID ADDRESS", waits for it, then lets the
// signal take its default course. Without a dumper the default action follows
// at once.

#include <QString>

namespace app {

// Prepares everything the handler needs (it may only make async-signal-safe
// calls) and installs it for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT.
void installCrashHandoff(const QString& dumperPath);

}  // namespace app
