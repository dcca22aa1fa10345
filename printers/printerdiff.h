#pragma once
// What changed between two readings of the installed queues, as the changes
// a window is told about.

#include "printers/printerapi.h"

#include <vector>

namespace PrinterAPI {

// Deleted queues first (in the old order), then added ones, then modified ones
// (in the new order). A queue is matched by name; a renamed queue is a
// deletion plus an addition.
std::vector<PrinterChange> diffPrinters(const std::vector<PrinterInfoRecord>& before,
                                        const std::vector<PrinterInfoRecord>& after);

// The change telling that the scheduler stopped answering: status 0x800000.
PrinterChange schedulerLostChange(const PrinterInfoRecord& record);

}  // namespace PrinterAPI
