#pragma once
// The print environment checks and repairs as the main page calls them: one
// plain function per page command, with the page's names and result types.
// Checks answer their negative value (false, 0, or -1 for the spooler) when
// something cannot be read, and return within about two seconds.

#include "sysutil/win32errors.h"
#include "webui/windowmessage.h"

#include <QString>
#include <cstdint>

namespace repair {

// Service state of the spooler: 1 stopped, 2 starting, 3 stopping, 4 running,
// -1 when it cannot be determined.
int checkPrinterSpool();
// selector 0: network discovery traffic; any other: file and printer sharing.
bool checkFirewall(int selector);
bool checkPrinterSharing(const QString& printerName);
// OR of the JOB_STATUS_* bits of the queue's jobs; 0 when none or on error.
std::uint32_t checkPrinterQueue(const QString& printerName);
bool checkOcrFont();

// The repairs done by the repair tool; each returns the tool's exit code, or
// the error that kept it from starting.
win32::ErrorCode restartPrinterSpool();
win32::ErrorCode enableFirewall();
void cleanPrinterQueue(int unused);
// Cancels the jobs of one queue only: 0 (also when it held none, without
// starting the tool), 1801 for a name CUPS could not have or a queue that does
// not exist, 1722 when the scheduler cannot be reached, else the repair
// tool's result (12 the jobs could not be cancelled, 1223 the password
// request was dismissed, 5 not authorised).
win32::ErrorCode cleanPrinterQueueOf(const QString& printerName);
// Starts the combined repair and returns 0 at once; the window receives
// webui::msg::kResetAllFinished when it has ended.
win32::ErrorCode resetSpool_firewall_queue(webui::WindowHandle window);

// Shares the queue and turns on the scheduler's sharing when it is off.
win32::ErrorCode enablePrinterSharing(const QString& printerName);
// Installs "OCRAExtended.ttf" from the program folder for the user.
win32::ErrorCode installOcrFont();

}  // namespace repair
