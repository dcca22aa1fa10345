#include "repair/spoolerstate.h"

#include "printers/printerapi.h"
#include "repair/repairtypes.h"
#include "repair/scheduleraddress.h"
#include "repair/systemdunits.h"
#include "sysutil/paths.h"

#include <QFileInfo>

namespace repair {

namespace {
// A scheduler is expected here when cupsd is installed, or when the client is
// pointed at another machine's scheduler.
bool schedulerInstalled()
{
    return QFileInfo(sysutil::envPath("KORVANE_CUPSD", QStringLiteral("/usr/sbin/cupsd"))).isExecutable() ||
           !PrinterAPI::schedulerName().startsWith(QLatin1Char('/'));
}
}  // namespace

int schedulerAnswerState()
{
    const PrinterAPI::SchedulerWaitLimit quick(kSchedulerCheckWaitMs);
    if (PrinterAPI::schedulerAnswers())
        return service::kRunning;
    return schedulerInstalled() ? service::kStopped : service::kUnknown;
}

int spoolerState()
{
    // The print service's units speak for the machine's own scheduler only;
    // when the program talks to another one, that one is asked.
    if (systemdIsRunning() &&
        isSystemSchedulerAddress(PrinterAPI::schedulerAddress(), systemSchedulerSockets())) {
        SystemBus bus;
        if (bus.isConnected()) {
            // When systemd does not answer about the service it will not about
            // the socket either; asking again would only double the wait.
            const auto service = unitState(bus, QStringLiteral("cups.service"));
            if (service)
                return spoolerStateFromUnits(service, unitState(bus, QStringLiteral("cups.socket")));
        }
    }
    return schedulerAnswerState();
}

}  // namespace repair
