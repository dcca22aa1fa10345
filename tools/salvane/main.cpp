// salvane: repairs the printing environment.
//
//   salvane [-h SERVER] 0            restart the print scheduler
//   salvane [-h SERVER] 1            let printing traffic through the firewall
//   salvane [-h SERVER] [-p QUEUE] 2 cancel every job on every queue, or on QUEUE only
//   salvane [-h SERVER] 1000         0, 1 and 2 in that order, going on after a failure
//
// -h names the scheduler (a socket path or host[:port], as lpadmin takes it).
// pkexec clears the environment, so without it CUPS_SERVER would not reach
// us and we would act on root's default scheduler instead of the one the
// caller shows. A scheduler on another machine is never restarted from here.
//
// One line per step on standard output. Exit code 0 when every step worked,
// else the code of the first step that failed (10 scheduler, 11 firewall,
// 12 queues, 13 the scheduler is not this machine's to restart), 64 for bad
// arguments. Most steps need root; Korvane starts the tool through pkexec
// when it is not root itself.

#include "repair/repairtypes.h"
#include "steps.h"

#include <QCoreApplication>
#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {

struct Step {
    int command;
    const char* name;
    int failureCode;  // unless the step names a more precise one
    std::function<salvane::StepOutcome()> run;
};

int runStep(const Step& step)
{
    const salvane::StepOutcome outcome = step.run();
    std::printf("%s: %s: %s\n", step.name, outcome.ok ? "ok" : "FAILED", qUtf8Printable(outcome.detail));
    std::fflush(stdout);
    if (outcome.ok)
        return repair::exitcode::kOk;
    return outcome.failureCode != 0 ? outcome.failureCode : step.failureCode;
}

int usage(const char* why)
{
    std::fprintf(stderr, "salvane: %s\nusage: salvane [-h SERVER] [-p QUEUE] 0|1|2|1000\n", why);
    return repair::exitcode::kUsage;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const std::optional<salvane::Request> request = salvane::parseArguments(QCoreApplication::arguments().mid(1));
    if (!request)
        return usage("bad arguments");
    if (!request->server.isEmpty())
        qputenv("CUPS_SERVER", request->server.toUtf8());
    if (geteuid() != 0)
        std::fputs("salvane: not running as root; steps that need it will fail\n", stderr);

    const QString queue = request->queue;
    const Step steps[] = {
        {repair::command::kRestartSpooler, "restart spooler", repair::exitcode::kSpoolerFailed, salvane::restartSpooler},
        {repair::command::kOpenFirewall, "open firewall", repair::exitcode::kFirewallFailed, salvane::openFirewall},
        {repair::command::kCleanQueues, "clean queues", repair::exitcode::kQueuesFailed,
         [queue] { return salvane::cleanQueues(queue); }},
    };
    if (request->command == repair::command::kResetAll) {
        int firstFailure = repair::exitcode::kOk;
        for (const Step& step : steps) {
            const int code = runStep(step);
            if (firstFailure == repair::exitcode::kOk)
                firstFailure = code;
        }
        return firstFailure;
    }
    for (const Step& step : steps) {
        if (step.command == request->command)
            return runStep(step);
    }
    return usage("unknown command");
}
