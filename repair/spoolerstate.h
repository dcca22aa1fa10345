#pragma once
// The print spooler's state as a service state.

namespace repair {

// How long a check waits for the scheduler to accept it, and again for the
// answer: a scheduler that hangs costs a check about twice this, not more.
constexpr int kSchedulerCheckWaitMs = 750;

// With systemd, for the machine's own scheduler: from cups.service and
// cups.socket. Without it, when systemd cannot be asked, or for a scheduler
// the print service does not run (another machine's, a private one): service::kRunning when the scheduler answers a
// request, kStopped when its socket is missing or refuses, kUnknown when no
// scheduler is installed at all.
int spoolerState();

// The scheduler probe alone.
int schedulerAnswerState();

}  // namespace repair
