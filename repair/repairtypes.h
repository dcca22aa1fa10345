#pragma once
// The Windows-shaped values of the environment checks and repairs: service
// states, the queue check's job status, the repair tool's commands and exit
// codes. Pages and the repair tool agree on these numbers, whatever Linux
// facility stands behind them.

#include "printers/win32printer.h"

#include <cstdint>

namespace repair {

// SERVICE_* states as the service control manager reports them.
namespace service {
constexpr int kUnknown = -1;
constexpr int kStopped = 1;        // SERVICE_STOPPED
constexpr int kStartPending = 2;   // SERVICE_START_PENDING
constexpr int kStopPending = 3;    // SERVICE_STOP_PENDING
constexpr int kRunning = 4;        // SERVICE_RUNNING
}  // namespace service

// What the queue check adds to the JOB_STATUS_* bits of win32printer.h.
namespace jobstatus {
// A job without any status bit is still in the queue; it is reported as
// JOB_STATUS_DELETING so the page never reads a non-empty queue as empty.
constexpr std::uint32_t kNoStatusStandIn = PrinterAPI::win32printer::kJobDeleting;
}  // namespace jobstatus

// The traffic a firewall check asks about ("checkFirewall" selector).
enum class FirewallGroup {
    NetworkDiscovery,       // selector 0: mDNS (UDP 5353) and SNMP replies
    FileAndPrinterSharing,  // any other selector: IPP (TCP 631) and Samba
};
inline FirewallGroup firewallGroupFromSelector(int selector)
{
    return selector == 0 ? FirewallGroup::NetworkDiscovery : FirewallGroup::FileAndPrinterSharing;
}

// The repair tool's single argument.
namespace command {
constexpr int kRestartSpooler = 0;
constexpr int kOpenFirewall = 1;
constexpr int kCleanQueues = 2;
constexpr int kResetAll = 1000;
}  // namespace command

// The repair tool's exit codes; each failure names the step that failed.
// They stay clear of 126/127, which pkexec uses for "not authorised".
namespace exitcode {
constexpr int kOk = 0;
constexpr int kUsage = 64;
constexpr int kSpoolerFailed = 10;
constexpr int kFirewallFailed = 11;
constexpr int kQueuesFailed = 12;
// The scheduler is on another machine, or is a private one of this machine
// whose start command is not known: restarting "the print service" would
// restart something else.
constexpr int kSchedulerNotOurs = 13;
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;
}  // namespace exitcode

}  // namespace repair
