#pragma once
// The print queues the device tree hangs below USB printers, from CUPS.

#include "devicetree/printqueues.h"

#include <QString>
#include <optional>
#include <vector>

namespace installmonitor {

// The scheduler's own queues as (name, device-uri) pairs; none when it cannot
// be reached. Blocks for at most the printer API's two-second bound.
std::vector<devicetree::PrintQueueBinding> cupsPrintQueues();

// The port (device-uri) of an installed printer; nothing when the printer is
// unknown or the scheduler cannot be reached.
std::optional<QString> printerPort(const QString& printerName);

// Makes every device snapshot from now on ask CUPS for its queues.
void useCupsPrintQueues();

}  // namespace installmonitor
