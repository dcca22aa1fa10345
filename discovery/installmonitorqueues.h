#pragma once
// The print queues the device tree hangs below USB printers, from CUPS.

#include "devicetree/printqueues.h"

#include <QString>
#include <optional>
#include <vector>

namespace installmonitor {

// How long one direct read of the queue list may wait for the scheduler, for
// connecting and again for its answer.
constexpr int kQueueListWaitMs = 1000;

// The scheduler's own queues as (name, device-uri) pairs. While the printer
// change monitor runs they come from its latest reading and nothing waits for
// the scheduler (none while it has no reading); otherwise the scheduler is
// asked, waiting at most kQueueListWaitMs for each step, and an unreachable or
// silent one gives none.
std::vector<devicetree::PrintQueueBinding> cupsPrintQueues();

// How many times cupsPrintQueues asked the scheduler itself (any thread).
int directQueueReads();

// The port (device-uri) of an installed printer; nothing when the printer is
// unknown or the scheduler cannot be reached (each step waits at most
// kQueueListWaitMs).
std::optional<QString> printerPort(const QString& printerName);

// Makes every device snapshot from now on ask CUPS for its queues.
void useCupsPrintQueues();

}  // namespace installmonitor
