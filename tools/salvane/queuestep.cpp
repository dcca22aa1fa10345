#include "printers/printerapi.h"
#include "steps.h"

namespace salvane {

StepOutcome cleanQueues()
{
    const PrinterAPI::CancelAllJobsResult outcome = PrinterAPI::cancelAllJobs();
    if (outcome.error != win32::kSuccess) {
        QString detail = QStringLiteral("error %1").arg(outcome.error);
        if (!outcome.failedQueues.isEmpty())
            detail += QStringLiteral(" on ") + outcome.failedQueues.join(QStringLiteral(", "));
        return {false, detail};
    }
    return {true, QStringLiteral("cancelled %1 job(s) on %2 queue(s)").arg(outcome.cancelledJobs).arg(outcome.queues)};
}

}  // namespace salvane
