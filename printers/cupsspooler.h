#pragma once
// Reading queues and jobs from CUPS and translating them into the records the
// pages know, by the status, attribute and job tables of win32printer.h.

#include "printers/cupsconnection.h"
#include "printers/printerapi.h"

#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace PrinterAPI::cups {

// What the scheduler says about one queue.
struct QueueAttributes {
    QString name;
    QString printerUri;  // printer-uri-supported, when asked for
    QString deviceUri;
    QString makeAndModel;
    QString info;
    QString location;
    QString startBanner;  // first value of job-sheets-default
    QString defaultDocumentFormat;  // document-format-default
    QString dnsSdName;
    int type = 0;   // printer-type (cups_ptype_t bits)
    int state = IPP_PSTATE_IDLE;
    QStringList reasons;
    bool shared = false;
    int queuedJobs = 0;
    int pagesPerMinute = 0;
    bool twoSided = false;
    bool color = false;
    int priority = 0;     // job-priority-default, 1..100
    QStringList members;  // member-names of a class; read only by readQueue
    QStringList documentFormats;  // document-format-supported; read only by readQueue
    std::vector<std::pair<int, int>> resolutions;  // dpi
    std::optional<std::pair<int, int>> defaultResolution;
    MarkerValues markers;  // supplies
    bool accepting = true;  // printer-is-accepting-jobs

    bool isClass() const { return type & CUPS_PRINTER_CLASS; }
    bool isRemote() const { return type & CUPS_PRINTER_REMOTE; }
    bool isServerDefault() const { return type & CUPS_PRINTER_DEFAULT; }
    // A printer without a driver: the scheduler hands every job to the device
    // as it came.
    bool isRaw() const { return !isClass() && !isRemote() && makeAndModel == QLatin1String("Local Raw Printer"); }
};

std::uint32_t statusBits(int printerState, const QStringList& reasons);
std::uint32_t attributeBits(const QueueAttributes& queue, bool isDefault);
std::uint32_t jobStatusBits(int jobState, const QStringList& reasons);
PrinterInfoRecord toRecord(const QueueAttributes& queue, bool isDefault);
PrinterChange toChange(const PrinterInfoRecord& record);

struct QueueList {
    std::vector<QueueAttributes> queues;  // the scheduler's order
    win32::ErrorCode error = win32::kSuccess;
};
// All queues with one CUPS-Get-Printers.
QueueList readQueues(SpoolerConnection& connection);
// One queue by name (a printer or a class); with details also the members
// and document formats, else only what the records use.
std::optional<QueueAttributes> readQueue(SpoolerConnection& connection, const QString& name,
                                         win32::ErrorCode& error, bool details = true);
// The records of all queues, the default one marked.
std::vector<PrinterInfoRecord> toRecords(const std::vector<QueueAttributes>& queues);

// The unfinished jobs of the destination (a printer or class URI, or
// ipp://localhost/ for those of every queue); nullopt with the error when
// the scheduler does not tell.
std::optional<std::vector<PrintJobRecord>> readJobs(SpoolerConnection& connection, const QByteArray& uri,
                                                    win32::ErrorCode& error);

// The user's own default destination (LPDEST, PRINTER, ~/.cups/lpoptions,
// the machine's lpoptions, as the CUPS commands read them); "" when the user
// has none.
QString userDefaultName();
// The one rule for "is this the default printer", for the listing, a single
// printer's state and the monitor alike: the queue userDefault names (even
// when that one is gone, which leaves no default, as lpstat -d says), else the
// scheduler's default.
bool isDefaultDestination(const QueueAttributes& queue, const QString& userDefault);
// Makes the name the "Default" of ~/.cups/lpoptions, keeping every option
// line. False when the file cannot be written.
bool writeUserDefault(const QString& name);

}  // namespace PrinterAPI::cups
