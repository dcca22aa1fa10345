#pragma once
// The repair steps of salvane. Each does its repair, checks that it took
// effect and says what happened; none reports success for something it could
// not confirm.

#include <QString>

namespace salvane {

struct StepOutcome {
    bool ok = false;
    QString detail;
};

// Restarts the print scheduler: through systemd where it runs, else by
// stopping and starting cupsd itself.
StepOutcome restartSpooler();
// Lets mDNS, IPP and SMB traffic in: firewalld (running and permanent
// configuration) or ufw.
StepOutcome openFirewall();
// Cancels every unfinished job on every queue.
StepOutcome cleanQueues();

}  // namespace salvane
