#pragma once
// The print spooler's state as a service state.

namespace repair {

// With systemd: from cups.service and cups.socket. Without it, or when
// systemd cannot be asked: service::kRunning when the scheduler answers a
// request, kStopped when its socket is missing or refuses, kUnknown when no
// scheduler is installed at all.
int spoolerState();

// The scheduler probe alone.
int schedulerAnswerState();

}  // namespace repair
