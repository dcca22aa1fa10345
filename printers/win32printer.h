#pragma once
// The Windows print-spooler values the pages understand: printer status and
// attribute bits, job status bits, printer-change bits and notification field
// codes. CUPS states are translated into these before they reach a page.

#include <cstdint>

namespace PrinterAPI::win32printer {

// PRINTER_STATUS_*
constexpr std::uint32_t kStatusPaused = 0x1;
constexpr std::uint32_t kStatusError = 0x2;
constexpr std::uint32_t kStatusPaperJam = 0x8;
constexpr std::uint32_t kStatusPaperOut = 0x10;
constexpr std::uint32_t kStatusPaperProblem = 0x40;
constexpr std::uint32_t kStatusOffline = 0x80;
constexpr std::uint32_t kStatusPrinting = 0x400;
constexpr std::uint32_t kStatusOutputBinFull = 0x800;
constexpr std::uint32_t kStatusWaiting = 0x2000;
constexpr std::uint32_t kStatusTonerLow = 0x20000;
constexpr std::uint32_t kStatusNoToner = 0x40000;
constexpr std::uint32_t kStatusDoorOpen = 0x400000;
constexpr std::uint32_t kStatusServerUnknown = 0x800000;

// PRINTER_ATTRIBUTE_*
constexpr std::uint32_t kAttributeDefault = 0x4;
constexpr std::uint32_t kAttributeShared = 0x8;
constexpr std::uint32_t kAttributeNetwork = 0x10;
constexpr std::uint32_t kAttributeLocal = 0x40;
constexpr std::uint32_t kAttributeRawOnly = 0x1000;
constexpr std::uint32_t kAttributePublished = 0x2000;

// JOB_STATUS_*
constexpr std::uint32_t kJobPaused = 0x1;
constexpr std::uint32_t kJobError = 0x2;
constexpr std::uint32_t kJobDeleting = 0x4;
constexpr std::uint32_t kJobSpooling = 0x8;
constexpr std::uint32_t kJobPrinting = 0x10;
constexpr std::uint32_t kJobPrinted = 0x80;
constexpr std::uint32_t kJobDeleted = 0x100;
constexpr std::uint32_t kJobBlockedDevQ = 0x200;
constexpr std::uint32_t kJobComplete = 0x1000;

// PRINTER_CHANGE_* as carried by a printer-change message.
constexpr std::uint32_t kChangeAddPrinter = 0x1;
constexpr std::uint32_t kChangeSetPrinter = 0x2;
constexpr std::uint32_t kChangeDeletePrinter = 0x4;
constexpr std::uint32_t kChangeAll = kChangeAddPrinter | kChangeSetPrinter | kChangeDeletePrinter;

// PRINTER_NOTIFY_FIELD_* listed in a change's notifyFields.
constexpr std::uint32_t kFieldPrinterName = 0x01;
constexpr std::uint32_t kFieldAttributes = 0x0D;
constexpr std::uint32_t kFieldStatus = 0x12;
constexpr std::uint32_t kFieldCJobs = 0x14;
// Ours, outside Windows' range: the queue's supplies (marker-* values)
// changed; it began or stopped taking new jobs (printer-is-accepting-jobs).
constexpr std::uint32_t kFieldSupplies = 0x100;
constexpr std::uint32_t kFieldAccepting = 0x101;
// Ours: a job of the queue changed state (held, released, ...) as far as the
// scheduler's events tell.
constexpr std::uint32_t kFieldJobStates = 0x102;

// What "openManager" answers when the page passed fewer than two arguments.
constexpr std::uint32_t kOpenManagerMissingArgument = 0x20000001;

}  // namespace PrinterAPI::win32printer
