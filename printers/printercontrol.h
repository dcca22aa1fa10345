#pragma once
// Managing an installed queue from the page: pause and resume it, let it take
// or refuse new jobs, list, cancel and release its jobs, read its supply
// levels, and change its description and location.
//
// Page commands, by position as the page passes them. A queue name CUPS could
// never have is 1801 (see printerapi.h), a job id that is not a whole number
// from 1 to 2^31-1 or not a job of that queue is 87, a text longer than 127
// bytes of UTF-8 or holding control characters is 87. An unreachable
// scheduler is 1722; a refusal the privileged retry did not overcome is 5.
// Administrative requests the scheduler refuses are tried once more through
// pkexec with the matching CUPS command (an argument list, never a shell),
// pointed at this program's scheduler with -h.

#include "sysutil/win32errors.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <vector>

namespace PrinterAPI {

// "pausePrinter"(name): Pause-Printer. 0, 1801, 1722, 5, 31.
int pausePrinter(const QString& printerName);
// "resumePrinter"(name): Resume-Printer. 0, 1801, 1722, 5, 31.
int resumePrinter(const QString& printerName);
// "setPrinterAcceptJobs"(name, accept): CUPS-Accept-Jobs or CUPS-Reject-Jobs;
// accept must be a boolean (87 otherwise). 0, 1801, 1722, 5, 31, 87.
int setPrinterAcceptJobs(const QString& printerName, bool accept);

// One unfinished job of a queue as the page sees it.
struct QueueJob {
    int id = 0;
    QString name; // job-name ("" when the scheduler keeps it private)
    QString owner; // job-originating-user-name
    qint64 size = 0; // bytes (job-k-octets x 1024)
    QString state; // pending, held, processing, stopped, canceled, aborted, completed
    QStringList reasons; // job-state-reasons
    qint64 time = 0; // time-at-creation, seconds since 1970
};

// The queue's unfinished jobs and whether it takes new ones.
struct QueueJobs {
    win32::ErrorCode error = win32::kSuccess;
    bool accepting = true; // printer-is-accepting-jobs
    bool paused = false; // printer-state stopped
    std::vector<QueueJob> jobs;
};
QueueJobs readQueueJobs(const QString& printerName);
// "getPrinterJobs"(name) -> JSON text {"code": n} or {"code": 0, "accepting":
// b, "paused": b, "jobs": [{"id", "name", "owner", "size", "state",
// "reasons", "time"}...]}, oldest job first, at most 500 jobs.
QString getPrinterJobs(const QString& printerName);
// "cancelPrinterJob"(name, id): Cancel-Job of a job of that queue.
// 0, 1801, 87, 1722, 5, 31.
int cancelPrinterJob(const QString& printerName, const QJsonValue& jobId);
// "releasePrinterJob"(name, id): Release-Job of a held job of that queue;
// 31 when the job is not held. 0, 1801, 87, 1722, 5, 31.
int releasePrinterJob(const QString& printerName, const QJsonValue& jobId);

// One supply (marker) of a queue.
struct Supply {
    QString name; // marker-names
    QString color; // "#RRGGBB", several joined by "#" as CUPS keeps them, or "" (none / unknown)
    int level = -1; // 0..100 percent; -1 unknown, -2 unknown but some left, -3 ok
    QString type; // marker-types keyword, e.g. toner, ink, ink-cartridge
};
struct Supplies {
    win32::ErrorCode error = win32::kSuccess;
    std::vector<Supply> supplies;
};
Supplies readSupplies(const QString& printerName);
// "getPrinterSupplies"(name) -> JSON text {"code": n} or {"code": 0,
// "supplies": [{"name", "color", "level", "type"}...]} (empty when the queue
// reports none), at most 32 supplies. From the queue's marker-* values; when
// it has none and its device is a network IPP printer (ipp:// or ipps://),
// the printer's own printer-supply values, asked for with a 3 s limit (a
// printer that does not answer in time gives an empty list, code 0); the
// printer's answer or silence is kept for 30 s.
QString getPrinterSupplies(const QString& printerName);

// "setPrinterDescription"(name, description, location): printer-info and
// printer-location by CUPS-Add-Modify-Printer (or -Class). Empty texts are
// allowed. 0, 1801, 87, 1722, 5, 31.
int setPrinterDescription(const QString& printerName, const QString& description, const QString& location);

// ---- Checks of page input (pure, for tests and fuzzing) ---------------------

// A job id from the page: a JSON number that is a whole number 1..2^31-1.
std::optional<int> jobIdFromPage(const QJsonValue& value);
// A description or location: at most 127 bytes of UTF-8, no control
// characters (C0, DEL, C1, line or paragraph separators), no lone surrogates.
bool isValidQueueText(const QString& text);
// The supplies of the marker-* values as the scheduler gives them; lists of
// unequal length are cut to the shortest of names and levels, colours and
// types missing are "". Levels outside -3..100 read as -1; colours that are
// not "#RRGGBB" (or several joined, or "none") read as "".
std::vector<Supply> suppliesFromMarkers(
    const QStringList& names, const QStringList& colors, const std::vector<int>& levels, const QStringList& types);

// The supplies a printer reports itself: printer-supply values such as
// "index=1;class=supplyThatIsConsumed;type=toner;unit=percent;maxcapacity=100;
// level=75;colorantname=black;" with the printer-supply-description texts of
// the same position. At most 32 values are read; longer than 1023 bytes is
// skipped, malformed key=value pairs are ignored. name: the description, else
// the colorant name, else the type. color: "#RRGGBB" for the usual colorant
// names, else "". level: level*100/maxcapacity clamped to 0..100 when
// maxcapacity > 0 (the level itself with unit=percent and no maxcapacity),
// -1, -2 and -3 as given, else -1. type: the type keyword in the marker-types
// form ("wasteToner" -> "waste-toner").
std::vector<Supply> suppliesFromPrinterSupply(const std::vector<QByteArray>& values, const QStringList& descriptions);

// The jobs and supplies of a scheduler's answer in IPP wire form (a Get-Jobs
// or Get-Printer-Attributes response); nullopt when it is not a whole IPP
// message. Bounded as the page commands are.
std::optional<std::vector<QueueJob>> jobsFromIppBytes(const unsigned char* data, std::size_t size);
std::optional<std::vector<Supply>> suppliesFromIppBytes(const unsigned char* data, std::size_t size);
// The supplies of a printer's Get-Printer-Attributes answer in IPP wire form.
std::optional<std::vector<Supply>> printerSuppliesFromIppBytes(const unsigned char* data, std::size_t size);

} // namespace PrinterAPI
