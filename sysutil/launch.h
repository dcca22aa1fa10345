#pragma once
// Starting programs without a shell, and waiting for a program together with
// every process it starts.

#include "sysutil/win32errors.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace sysutil {

// Splits a command line into an argument vector the way a Windows program
// would: blanks separate, double quotes group, \" is a literal quote, a run of
// backslashes before a quote is halved. nullopt for an unbalanced quote.
std::optional<QStringList> splitCommandLine(const QString& commandLine);

struct StartResult {
    win32::ErrorCode error = win32::kSuccess;
    pid_t pid = -1;
};
// Starts argv[0] (searched in PATH) in a session of its own, with no shell.
// The caller owns the child and must reap it (waitForTree does).
StartResult startDetached(const QStringList& argv);

// Waits until the process and all its descendants have ended, writing the
// console lines of the original tool. Returns 0 then.
win32::ErrorCode waitForTree(pid_t root);

// Runs the command line and waits for the whole process tree. When the program
// may not be executed and pkexec exists, it is started again through pkexec.
// Returns 0, or the error that kept it from starting (2 not found, 87 empty or
// unparsable, 5 denied).
win32::ErrorCode LaunchAndWait(const QString& commandLine);

// Starts a command line through pkexec and returns its process id, or 0 when
// no relaunch happened (no pkexec, or it could not start).
pid_t relaunchElevated(const QStringList& argv);

}  // namespace sysutil
