#pragma once
// The repair steps of salvane. Each does its repair, checks that it took
// effect and says what happened; none reports success for something it could
// not confirm.

#include "repair/repairtypes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace salvane {

struct StepOutcome {
    bool ok = false;
    QString detail;
    int failureCode = 0;  // the exit code when !ok; 0: the step's own
};

// What the command line asks for.
struct Request {
    int command = -1;
    QString server;  // "" for the scheduler the environment names
    QString queue;   // command 2 only: "" for every queue
};
// nullopt for anything but "[-h SERVER] [-p QUEUE] COMMAND" (options in any
// order, each once) with a valid scheduler address, a queue name CUPS could
// have and -p only with command 2.
std::optional<Request> parseArguments(const QStringList& args);

// Restarts the print scheduler: through systemd where it runs, else by
// stopping and starting cupsd itself. Refused for a scheduler on another
// machine, and for a private one on this machine unless its start command is
// configured.
StepOutcome restartSpooler();
// Lets mDNS, IPP and SMB traffic in: firewalld (running and permanent
// configuration) or ufw.
StepOutcome openFirewall();
// Cancels every unfinished job on every queue, or on the named queue only.
StepOutcome cleanQueues(const QString& queue);

}  // namespace salvane
