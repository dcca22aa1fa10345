// korvanectl repair spooler|firewall|queues [QUEUE]|font|all [--yes]: the
// window's repairs. Cancelling jobs asks first unless --yes was given.

#include "printers/printerapi.h"
#include "repair/repairapi.h"
#include "repair/repairtool.h"
#include "repair/repairtypes.h"
#include "sysutil/formatmessage.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QTextStream>
#include <cstdio>
#include <optional>

namespace korvanectl {

namespace {

// What the repair tool's exit code or a start failure means, in words.
QString outcomeText(int code)
{
    switch (code) {
    case repair::exitcode::kOk:
        return QStringLiteral("done");
    case repair::exitcode::kSpoolerFailed:
        return QStringLiteral("the print scheduler could not be restarted");
    case repair::exitcode::kFirewallFailed:
        return QStringLiteral("the firewall could not be opened");
    case repair::exitcode::kQueuesFailed:
        return QStringLiteral("the jobs could not be cancelled");
    case repair::exitcode::kSchedulerNotOurs:
        return QStringLiteral("the scheduler is not this machine's print service; restart it where it runs");
    case repair::exitcode::kPkexecDismissed:
        return QStringLiteral("the password request was dismissed");
    case repair::exitcode::kPkexecNotAuthorised:
        return QStringLiteral("not authorised");
    default: {
        const QString text = sysutil::formatMessage(win32::ErrorCode(code)).trimmed();
        return QStringLiteral("failed (%1%2)").arg(code).arg(text.isEmpty() ? QString() : QStringLiteral(": ") + text);
    }
    }
}

bool report(const QString& step, int code)
{
    if (code == 0)
        printLine(QStringLiteral("%1: done").arg(step));
    else
        printError(QStringLiteral("%1: %2").arg(step, outcomeText(code)));
    return code == 0;
}

// The unfinished jobs the cancel would destroy; nullopt when the scheduler
// cannot be read.
std::optional<int> unfinishedJobs(const QString& queue)
{
    const auto records = PrinterAPI::listAllPrinters();
    if (!records)
        return std::nullopt;
    int jobs = 0;
    for (const PrinterAPI::PrinterInfoRecord& record : *records) {
        if (record.serverName.isEmpty() && (queue.isEmpty() || record.printerName == queue))
            jobs += int(record.cjobs);
    }
    return jobs;
}

bool confirmed(const QString& question)
{
    std::fputs(question.toUtf8().constData(), stderr);
    std::fputs(" [y/N] ", stderr);
    std::fflush(stderr);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    const QString text = QString::fromLocal8Bit(answer).trimmed().toLower();
    return text == QLatin1String("y") || text == QLatin1String("yes");
}

// 0 done, 1 failed or declined.
int repairQueues(const Arguments& arguments)
{
    const std::optional<int> jobs = unfinishedJobs(arguments.queue);
    if (!jobs) {
        printError(QStringLiteral("queues: the print scheduler at \"%1\" does not answer")
                       .arg(terminalSafe(PrinterAPI::schedulerName())));
        return 1;
    }
    const QString where = arguments.queue.isEmpty() ? QStringLiteral("every queue")
                                                    : QStringLiteral("queue \"%1\"").arg(arguments.queue);
    if (*jobs == 0) {
        printLine(QStringLiteral("queues: %1 holds no unfinished jobs; nothing to cancel").arg(where));
        return 0;
    }
    if (!arguments.yes
        && !confirmed(
            QStringLiteral("Cancel %1 unfinished job(s) on %2? They cannot be recovered.").arg(*jobs).arg(where))) {
        printError(QStringLiteral("queues: nothing was cancelled (\"--yes\" cancels without asking)"));
        return 1;
    }
    const int code = arguments.queue.isEmpty() ? int(repair::runRepairTool(repair::command::kCleanQueues, 0))
                                               : int(repair::cleanPrinterQueueOf(arguments.queue));
    return report(QStringLiteral("queues"), code) ? 0 : 1;
}

} // namespace

int runRepair(const Arguments& arguments)
{
    const QString& what = arguments.repair;
    const bool all = what == QLatin1String("all");
    bool ok = true;
    if (all || what == QLatin1String("spooler"))
        ok &= report(QStringLiteral("spooler"), int(repair::restartPrinterSpool()));
    if (all || what == QLatin1String("firewall"))
        ok &= report(QStringLiteral("firewall"), int(repair::enableFirewall()));
    if (all || what == QLatin1String("queues"))
        ok &= repairQueues(arguments) == 0;
    if (all || what == QLatin1String("font")) {
        if (repair::checkOcrFont())
            printLine(QStringLiteral("font: the OCR-A font is already installed"));
        else
            ok &= report(QStringLiteral("font"), int(repair::installOcrFont()));
    }
    return ok ? kExitOk : 1;
}

} // namespace korvanectl
