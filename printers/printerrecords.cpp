// Installed printers as the pages see them: the listing JSON, one printer's
// state, and the page object of a change.

#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "webui/pagejson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace PrinterAPI {

namespace {

QJsonObject recordToJson(const PrinterInfoRecord& r)
{
    QJsonArray resolutions;
    for (std::int32_t value : r.resolutions)
        resolutions.append(value);
    // The 32-bit fields are read as signed, as the pages always have.
    return QJsonObject{
        {QStringLiteral("isDefault"), r.isDefault},
        {QStringLiteral("isShare"), r.isShare},
        {QStringLiteral("isLocal"), r.isLocal},
        {QStringLiteral("serverName"), r.serverName},
        {QStringLiteral("printerName"), r.printerName},
        {QStringLiteral("shareName"), r.shareName},
        {QStringLiteral("portName"), r.portName},
        {QStringLiteral("driverName"), r.driverName},
        {QStringLiteral("comment"), r.comment},
        {QStringLiteral("location"), r.location},
        {QStringLiteral("sepFile"), r.sepFile},
        {QStringLiteral("printProcessor"), r.printProcessor},
        {QStringLiteral("dataType"), r.dataType},
        {QStringLiteral("attributes"), std::int32_t(r.attributes)},
        {QStringLiteral("priority"), std::int32_t(r.priority)},
        {QStringLiteral("startTime"), std::int32_t(r.startTime)},
        {QStringLiteral("untilTime"), std::int32_t(r.untilTime)},
        {QStringLiteral("status"), std::int32_t(r.status)},
        {QStringLiteral("cjobs"), std::int32_t(r.cjobs)},
        {QStringLiteral("averagePPM"), std::int32_t(r.averagePPM)},
        {QStringLiteral("printQuality"), int(r.printQuality)},
        {QStringLiteral("duplex"), r.duplex},
        {QStringLiteral("color"), r.color},
        {QStringLiteral("printPagePerMinute"), r.printPagePerMinute},
        {QStringLiteral("driverAttributes"), std::int32_t(r.driverAttributes)},
        {QStringLiteral("resolutions"), resolutions},
    };
}

}  // namespace

std::vector<PrinterInfoRecord> listPrinters(int selector)
{
    cups::SpoolerConnection connection;
    const cups::QueueList list = cups::readQueues(connection);
    std::vector<PrinterInfoRecord> records;
    for (PrinterInfoRecord& record : cups::toRecords(list.queues))
        if ((selector == 0) == record.serverName.isEmpty())
            records.push_back(std::move(record));
    return records;
}

std::optional<std::vector<PrinterInfoRecord>> listAllPrinters()
{
    cups::SpoolerConnection connection;
    const cups::QueueList list = cups::readQueues(connection);
    if (list.error != win32::kSuccess)
        return std::nullopt;
    return cups::toRecords(list.queues);
}

QString enumInstalledPrinters(int selector)
{
    QJsonArray array;
    for (const PrinterInfoRecord& record : listPrinters(selector))
        array.append(recordToJson(record));
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

win32::ErrorCode queryPrinterState(const QString& printerName, PrinterChange& change)
{
    if (!cups::isValidPrinterName(printerName))
        return win32::kInvalidPrinterName;
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
    if (!queue)
        return error;
    const bool isDefault = cups::isDefaultDestination(*queue, cups::userDefaultName());
    const PrinterInfoRecord record = cups::toRecord(*queue, isDefault);
    // The caller's spelling of the name, as the page asked for it.
    change.printerName = printerName;
    change.printerServer = record.serverName;
    change.attributes = record.attributes;
    change.printerStatus = record.status;
    change.jobStatus = 0;
    change.cjobs = record.cjobs;
    return win32::kSuccess;
}

QJsonObject printerChangeToPageObject(const PrinterChange& change)
{
    QJsonArray fields;
    for (std::uint32_t field : change.notifyFields)
        fields.append(std::int32_t(field));
    // The page gets the members in this order.
    return webui::OrderedObject{
        {QStringLiteral("dwChanged"), std::int32_t(change.changed)},
        {QStringLiteral("dwNotifyField"), fields},
        {QStringLiteral("printerName"), change.printerName},
        {QStringLiteral("printerServer"), change.printerServer},
        {QStringLiteral("newPrinterName"), change.newPrinterName},
        {QStringLiteral("dwAttribute"), std::int32_t(change.attributes)},
        {QStringLiteral("dwPrinterStatus"), std::int32_t(change.printerStatus)},
        {QStringLiteral("dwJobStatus"), std::int32_t(change.jobStatus)},
        {QStringLiteral("dwCjobs"), std::int32_t(change.cjobs)},
    }.object();
}

QJsonObject getPrinterInfo(const QString& printerName)
{
    PrinterChange change;
    const win32::ErrorCode code = queryPrinterState(printerName, change);
    QJsonObject result{{QStringLiteral("code"), std::int32_t(code)}};
    if (code == win32::kSuccess)
        result.insert(QStringLiteral("info"), printerChangeToPageObject(change));
    return result;
}

int installedPrinterCount()
{
    cups::SpoolerConnection connection;
    return int(cups::readQueues(connection).queues.size());
}

std::vector<PrintJobRecord> listPrinterJobs(const QString& printerName, win32::ErrorCode* error)
{
    win32::ErrorCode result = win32::kInvalidPrinterName;
    std::optional<std::vector<PrintJobRecord>> jobs;
    if (cups::isValidPrinterName(printerName)) {
        cups::SpoolerConnection connection;
        jobs = cups::readJobs(connection, cups::destinationUri(printerName), result);
    }
    if (error)
        *error = result;
    return jobs ? std::move(*jobs) : std::vector<PrintJobRecord>{};
}

}  // namespace PrinterAPI
