// korvanectl printers [QUEUE] [--json]: the installed queues as the printer
// listing of the window reads them.

#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <optional>
#include <utility>

namespace korvanectl {

namespace {

namespace w = PrinterAPI::win32printer;

QString stateName(std::uint32_t status)
{
    if (status & w::kStatusPaused)
        return QStringLiteral("stopped");
    if (status & w::kStatusPrinting)
        return QStringLiteral("printing");
    return QStringLiteral("idle");
}

QJsonArray problemNames(std::uint32_t status)
{
    static const std::pair<std::uint32_t, const char*> names[] = {
        {w::kStatusError, "error"},
        {w::kStatusPaperJam, "paper-jam"},
        {w::kStatusPaperOut, "paper-out"},
        {w::kStatusPaperProblem, "paper-problem"},
        {w::kStatusOffline, "offline"},
        {w::kStatusOutputBinFull, "output-bin-full"},
        {w::kStatusWaiting, "waiting"},
        {w::kStatusTonerLow, "toner-low"},
        {w::kStatusNoToner, "no-toner"},
        {w::kStatusDoorOpen, "door-open"},
        {w::kStatusServerUnknown, "server-unknown"},
    };
    QJsonArray problems;
    for (const auto& [bit, name] : names) {
        if (status & bit)
            problems.append(QLatin1String(name));
    }
    return problems;
}

QJsonObject printerObject(const PrinterAPI::PrinterInfoRecord& record)
{
    QJsonObject printer;
    printer.insert(QStringLiteral("name"), record.printerName);
    printer.insert(QStringLiteral("server"), record.serverName);
    printer.insert(QStringLiteral("state"), stateName(record.status));
    printer.insert(QStringLiteral("problems"), problemNames(record.status));
    printer.insert(QStringLiteral("jobs"), static_cast<qint64>(record.cjobs));
    printer.insert(QStringLiteral("default"), record.isDefault);
    printer.insert(QStringLiteral("shared"), record.isShare);
    printer.insert(QStringLiteral("device"), record.portName);
    printer.insert(QStringLiteral("driver"), record.driverName);
    printer.insert(QStringLiteral("description"), record.comment);
    printer.insert(QStringLiteral("location"), record.location);
    return printer;
}

QString padded(const QString& text, int width)
{
    return text.leftJustified(width, QLatin1Char(' '));
}

void printTable(const QJsonArray& printers)
{
    const QStringList headers = {QStringLiteral("NAME"), QStringLiteral("STATE"), QStringLiteral("JOBS"),
                                 QStringLiteral("DEFAULT"), QStringLiteral("SHARED"), QStringLiteral("DEVICE"),
                                 QStringLiteral("DRIVER")};
    std::vector<QStringList> rows;
    for (const QJsonValue& value : printers) {
        const QJsonObject p = value.toObject();
        QString state = p.value(QStringLiteral("state")).toString();
        for (const QJsonValue& problem : p.value(QStringLiteral("problems")).toArray())
            state += QLatin1Char(',') + problem.toString();
        rows.push_back({terminalSafe(p.value(QStringLiteral("name")).toString()), state,
                        QString::number(p.value(QStringLiteral("jobs")).toInt()),
                        p.value(QStringLiteral("default")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
                        p.value(QStringLiteral("shared")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
                        terminalSafe(p.value(QStringLiteral("device")).toString()),
                        terminalSafe(p.value(QStringLiteral("driver")).toString())});
    }
    std::vector<int> widths;
    for (int column = 0; column < headers.size(); ++column) {
        int width = headers.at(column).size();
        for (const QStringList& row : rows)
            width = std::max(width, static_cast<int>(row.at(column).size()));
        widths.push_back(width);
    }
    const auto line = [&](const QStringList& cells) {
        QString text;
        for (int column = 0; column < cells.size(); ++column)
            text += column + 1 == cells.size() ? cells.at(column) : padded(cells.at(column), widths[column] + 2);
        printLine(text);
    };
    line(headers);
    for (const QStringList& row : rows)
        line(row);
}

}  // namespace

int runPrinters(const Arguments& arguments)
{
    const std::optional<std::vector<PrinterAPI::PrinterInfoRecord>> records = PrinterAPI::listAllPrinters();
    if (!records) {
        printError(QStringLiteral("the print scheduler at \"%1\" does not answer; start it (systemctl start "
                                  "cups) or run \"korvanectl check\"")
                       .arg(terminalSafe(PrinterAPI::schedulerName())));
        return 1;
    }
    QJsonArray printers;
    QString defaultName;
    bool found = arguments.queue.isEmpty();
    // Our scheduler's queues first, then those it relays from other servers.
    for (const bool relayed : {false, true}) {
        for (const PrinterAPI::PrinterInfoRecord& record : *records) {
            if (record.serverName.isEmpty() == relayed)
                continue;
            if (record.isDefault)
                defaultName = record.printerName;
            if (!arguments.queue.isEmpty() && record.printerName != arguments.queue)
                continue;
            found = true;
            printers.append(printerObject(record));
        }
    }
    if (!found) {
        printError(QStringLiteral("there is no queue named \"%1\"; \"korvanectl printers\" lists them")
                       .arg(arguments.queue));
        return 1;
    }
    if (arguments.json) {
        QJsonObject document;
        document.insert(QStringLiteral("scheduler"), PrinterAPI::schedulerName());
        document.insert(QStringLiteral("default"),
                        defaultName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(defaultName));
        document.insert(QStringLiteral("printers"), printers);
        printJson(document);
    } else if (printers.isEmpty()) {
        printLine(QStringLiteral("No printers are installed."));
    } else {
        printTable(printers);
    }
    return kExitOk;
}

}  // namespace korvanectl
