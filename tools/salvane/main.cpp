// salvane: repairs the printing environment.
//
//   salvane 0      restart the print scheduler
//   salvane 1      let printing traffic through the firewall
//   salvane 2      cancel every job on every queue
//   salvane 1000   all three, in that order, going on after a failure
//
// One line per step on standard output. Exit code 0 when every step worked,
// else the code of the first step that failed (10 scheduler, 11 firewall,
// 12 queues), 64 for a bad argument. Most steps need root; Korvane starts the
// tool through pkexec when it is not root itself.

#include "repair/repairtypes.h"
#include "steps.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

namespace {

struct Step {
    int command;
    const char* name;
    int failureCode;
    salvane::StepOutcome (*run)();
};

const Step kSteps[] = {
    {repair::command::kRestartSpooler, "restart spooler", repair::exitcode::kSpoolerFailed, salvane::restartSpooler},
    {repair::command::kOpenFirewall, "open firewall", repair::exitcode::kFirewallFailed, salvane::openFirewall},
    {repair::command::kCleanQueues, "clean queues", repair::exitcode::kQueuesFailed, salvane::cleanQueues},
};

int runStep(const Step& step)
{
    const salvane::StepOutcome outcome = step.run();
    std::printf("%s: %s: %s\n", step.name, outcome.ok ? "ok" : "FAILED", qUtf8Printable(outcome.detail));
    std::fflush(stdout);
    return outcome.ok ? repair::exitcode::kOk : step.failureCode;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    bool numeric = false;
    const int command = args.size() == 1 ? args.first().toInt(&numeric) : -1;
    if (!numeric) {
        std::fputs("usage: salvane 0|1|2|1000\n", stderr);
        return repair::exitcode::kUsage;
    }
    if (geteuid() != 0)
        std::fputs("salvane: not running as root; steps that need it will fail\n", stderr);

    if (command == repair::command::kResetAll) {
        int firstFailure = repair::exitcode::kOk;
        for (const Step& step : kSteps) {
            const int code = runStep(step);
            if (firstFailure == repair::exitcode::kOk)
                firstFailure = code;
        }
        return firstFailure;
    }
    for (const Step& step : kSteps) {
        if (step.command == command)
            return runStep(step);
    }
    std::fprintf(stderr, "salvane: unknown command %s\n", qUtf8Printable(args.first()));
    return repair::exitcode::kUsage;
}
