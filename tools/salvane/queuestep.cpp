#include "printers/printerapi.h"
#include "steps.h"

namespace salvane {

StepOutcome cleanQueues(const QString& queue)
{
    const PrinterAPI::CancelAllJobsResult outcome =
        queue.isEmpty() ? PrinterAPI::cancelAllJobs() : PrinterAPI::cancelPrinterJobs(queue);
    const QString where = queue.isEmpty() ? QStringLiteral("every queue") : QStringLiteral("queue ") + queue;
    const QString server = PrinterAPI::schedulerName();
    if (outcome.error != win32::kSuccess)
        return {false,
                QStringLiteral("error %1 on %2 of %3; %4 job(s) left")
                    .arg(outcome.error).arg(where, server).arg(outcome.jobsLeft)};
    return {true, QStringLiteral("cancelled %1 job(s) on %2 of %3").arg(outcome.cancelledJobs).arg(where, server)};
}

}  // namespace salvane
