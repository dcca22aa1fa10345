#include "repair/repairapi.h"

#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "repair/firewallstate.h"
#include "repair/ocrfont.h"
#include "repair/repairtool.h"
#include "repair/repairtypes.h"
#include "repair/spoolerstate.h"
#include "sysutil/paths.h"

#include <cstdio>

namespace repair {

int checkPrinterSpool()
{
    return spoolerState();
}

bool checkFirewall(int selector)
{
    return firewallAllows(firewallGroupFromSelector(selector));
}

bool checkPrinterSharing(const QString& printerName)
{
    const PrinterAPI::SchedulerWaitLimit quick(kSchedulerCheckWaitMs);
    PrinterAPI::PrinterChange state;
    return PrinterAPI::queryPrinterState(printerName, state) == win32::kSuccess &&
           (state.attributes & PrinterAPI::win32printer::kAttributeShared);
}

std::uint32_t checkPrinterQueue(const QString& printerName)
{
    const PrinterAPI::SchedulerWaitLimit quick(kSchedulerCheckWaitMs);
    std::uint32_t status = 0;
    for (const PrinterAPI::PrintJobRecord& job : PrinterAPI::listPrinterJobs(printerName))
        status |= job.status ? job.status : jobstatus::kNoStatusStandIn;
    return status;
}

bool checkOcrFont()
{
    return ocrFontInstalled();
}

win32::ErrorCode restartPrinterSpool()
{
    return runRepairTool(command::kRestartSpooler, 0);
}

win32::ErrorCode enableFirewall()
{
    return runRepairTool(command::kOpenFirewall, 0);
}

void cleanPrinterQueue(int /*unused*/)
{
    runRepairTool(command::kCleanQueues, 0);
}

win32::ErrorCode cleanPrinterQueueOf(const QString& printerName)
{
    win32::ErrorCode error = win32::kSuccess;
    const std::vector<PrinterAPI::PrintJobRecord> jobs = PrinterAPI::listPrinterJobs(printerName, &error);
    if (error != win32::kSuccess)
        return error;
    // Nothing to cancel: no reason to ask for a password.
    if (jobs.empty())
        return win32::kSuccess;
    return runRepairTool(command::kCleanQueues, 0, printerName);
}

win32::ErrorCode resetSpool_firewall_queue(webui::WindowHandle window)
{
    return runRepairTool(command::kResetAll, window);
}

win32::ErrorCode enablePrinterSharing(const QString& printerName)
{
    const int shared = PrinterAPI::sharePrinter(printerName, QString(), true);
    if (shared != int(win32::kSuccess))
        return win32::ErrorCode(shared);
    // The scheduler took the request; only a second look shows it took effect.
    if (!checkPrinterSharing(printerName)) {
        std::fputs("enablePrinterSharing: the queue is still not shared\n", stderr);
        return win32::kGenFailure;
    }
    // Lets a test scheduler keep listening on its private socket only: turning
    // sharing on makes a scheduler listen on every network interface.
    if (qEnvironmentVariableIntValue("KORVANE_CUPS_KEEP_SERVER_SETTINGS") == 1)
        return win32::kSuccess;
    const auto serverShares = PrinterAPI::schedulerSharesPrinters();
    if (!serverShares) {
        std::fputs("enablePrinterSharing: the scheduler's sharing setting cannot be read\n", stderr);
        return win32::kAccessDenied;
    }
    return *serverShares ? win32::kSuccess : PrinterAPI::enableSchedulerSharing();
}

win32::ErrorCode installOcrFont()
{
    return installFontFile(sysutil::programDir() + QLatin1Char('/') + QLatin1String(kOcrFontFileName));
}

}  // namespace repair
