#include "repair/repairapi.h"

#include "repair/cupsconnection.h"
#include "repair/firewallstate.h"
#include "repair/ocrfont.h"
#include "repair/printqueues.h"
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
    return queueIsShared(printerName).value_or(false);
}

std::uint32_t checkPrinterQueue(const QString& printerName)
{
    return queueJobStatus(printerName);
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

win32::ErrorCode resetSpool_firewall_queue(webui::WindowHandle window)
{
    return runRepairTool(command::kResetAll, window);
}

win32::ErrorCode enablePrinterSharing(const QString& printerName)
{
    if (!isValidQueueName(printerName))
        return win32::kInvalidPrinterName;
    const win32::ErrorCode shared = setQueueShared(printerName, true);
    if (shared != win32::kSuccess)
        return shared;
    // Lets a test scheduler keep listening on its private socket only: turning
    // sharing on makes a scheduler listen on every network interface.
    if (qEnvironmentVariableIntValue("KORVANE_CUPS_KEEP_SERVER_SETTINGS") == 1)
        return win32::kSuccess;
    const auto serverShares = serverSharesQueues();
    if (!serverShares) {
        std::fputs("enablePrinterSharing: the scheduler's sharing setting cannot be read\n", stderr);
        return win32::kAccessDenied;
    }
    return *serverShares ? win32::kSuccess : enableServerSharing();
}

win32::ErrorCode installOcrFont()
{
    return installFontFile(sysutil::programDir() + QLatin1Char('/') + QLatin1String(kOcrFontFileName));
}

}  // namespace repair
