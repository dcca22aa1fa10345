// korvanectl printers [QUEUE] [--json]: the installed queues as the printer
// listing of the window reads them.

#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include "sysutil/terminationsignals.h"
#include "webui/windowmessage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <unistd.h>
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
        { w::kStatusError, "error" },
        { w::kStatusPaperJam, "paper-jam" },
        { w::kStatusPaperOut, "paper-out" },
        { w::kStatusPaperProblem, "paper-problem" },
        { w::kStatusOffline, "offline" },
        { w::kStatusOutputBinFull, "output-bin-full" },
        { w::kStatusWaiting, "waiting" },
        { w::kStatusTonerLow, "toner-low" },
        { w::kStatusNoToner, "no-toner" },
        { w::kStatusDoorOpen, "door-open" },
        { w::kStatusServerUnknown, "server-unknown" },
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
    const QStringList headers = { QStringLiteral("NAME"), QStringLiteral("STATE"), QStringLiteral("JOBS"),
        QStringLiteral("DEFAULT"), QStringLiteral("SHARED"), QStringLiteral("DEVICE"), QStringLiteral("DRIVER") };
    std::vector<QStringList> rows;
    for (const QJsonValue& value : printers) {
        const QJsonObject p = value.toObject();
        QString state = p.value(QStringLiteral("state")).toString();
        for (const QJsonValue& problem : p.value(QStringLiteral("problems")).toArray())
            state += QLatin1Char(',') + problem.toString();
        rows.push_back({ terminalSafe(p.value(QStringLiteral("name")).toString()), state,
            QString::number(p.value(QStringLiteral("jobs")).toInt()),
            p.value(QStringLiteral("default")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
            p.value(QStringLiteral("shared")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
            terminalSafe(p.value(QStringLiteral("device")).toString()),
            terminalSafe(p.value(QStringLiteral("driver")).toString()) });
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

// ---- --watch ----------------------------------------------------------------

// The handle the change monitor posts to; no real window has it.
constexpr webui::WindowHandle kWatchHandle = 0x6b766374; // "kvct"

QJsonObject changeObject(const PrinterAPI::PrinterChange& change)
{
    QJsonArray changes;
    if (change.changed & w::kChangeAddPrinter)
        changes.append(QStringLiteral("added"));
    if (change.changed & w::kChangeSetPrinter)
        changes.append(QStringLiteral("modified"));
    if (change.changed & w::kChangeDeletePrinter)
        changes.append(QStringLiteral("deleted"));
    QJsonArray fields;
    for (const std::uint32_t field : change.notifyFields) {
        if (field == w::kFieldAttributes)
            fields.append(QStringLiteral("attributes"));
        else if (field == w::kFieldStatus)
            fields.append(QStringLiteral("status"));
        else if (field == w::kFieldCJobs)
            fields.append(QStringLiteral("jobs"));
        else if (field == w::kFieldSupplies)
            fields.append(QStringLiteral("supplies"));
        else if (field == w::kFieldAccepting)
            fields.append(QStringLiteral("accepting"));
        else if (field == w::kFieldJobStates)
            fields.append(QStringLiteral("job-states"));
    }
    QJsonObject object;
    object.insert(QStringLiteral("changes"), changes);
    object.insert(QStringLiteral("fields"), fields);
    object.insert(QStringLiteral("name"), change.printerName);
    object.insert(QStringLiteral("server"), change.printerServer);
    if (!(change.changed & w::kChangeDeletePrinter)) {
        object.insert(QStringLiteral("state"), stateName(change.printerStatus));
        object.insert(QStringLiteral("problems"), problemNames(change.printerStatus));
        object.insert(QStringLiteral("jobs"), static_cast<qint64>(change.cjobs));
        object.insert(QStringLiteral("default"), bool(change.attributes & w::kAttributeDefault));
        object.insert(QStringLiteral("shared"), bool(change.attributes & w::kAttributeShared));
    }
    return object;
}

QString changeLine(const QJsonObject& object)
{
    QStringList changes;
    for (const QJsonValue& value : object.value(QStringLiteral("changes")).toArray())
        changes << value.toString();
    QString line = QStringLiteral("%1 %2").arg(
        changes.join(QLatin1Char(',')), terminalSafe(object.value(QStringLiteral("name")).toString()));
    if (object.contains(QStringLiteral("state"))) {
        QString state = object.value(QStringLiteral("state")).toString();
        for (const QJsonValue& problem : object.value(QStringLiteral("problems")).toArray())
            state += QLatin1Char(',') + problem.toString();
        line
            += QStringLiteral(" state=%1 jobs=%2 default=%3 shared=%4")
                   .arg(state)
                   .arg(object.value(QStringLiteral("jobs")).toInt())
                   .arg(object.value(QStringLiteral("default")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"))
                   .arg(object.value(QStringLiteral("shared")).toBool() ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    return line;
}

class ChangePrinter : public webui::WindowMessageTarget {
public:
    explicit ChangePrinter(bool json)
        : m_json(json)
    {
    }
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        if (message.message != webui::msg::kPrinterChanged || !message.payload)
            return 0;
        const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
        const QJsonObject object = changeObject(*change);
        if (m_json)
            printText(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        else
            printLine(changeLine(object));
        return 0;
    }

private:
    bool m_json;
};

// Prints every change the monitor reports until SIGINT or SIGTERM. Once the
// monitor has its first reading of the scheduler, "watching" goes to standard
// error: changes from then on are reported.
int watchPrinters(const Arguments& arguments)
{
    // A second Ctrl+C while the monitor stops ends the process at once.
    if (!sysutil::onTerminationSignals([](int) { QCoreApplication::quit(); })) {
        printError(QStringLiteral("cannot watch: no pipe for signals"));
        return 1;
    }

    ChangePrinter printer(arguments.json);
    webui::WindowRegistry::instance().add(kWatchHandle, &printer);
    PrinterAPI::PrinterMonitor& monitor = PrinterAPI::PrinterMonitor::instance();
    monitor.start(kWatchHandle, w::kChangeAll);
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (!monitor.knownQueuePorts())
            return;
        ready.stop();
        std::fputs("korvanectl: watching for printer changes; Ctrl+C ends\n", stderr);
        std::fflush(stderr);
    });
    ready.start(50);
    QCoreApplication::exec();
    monitor.stop();
    webui::WindowRegistry::instance().remove(kWatchHandle);
    return kExitOk;
}

} // namespace

int runPrinters(const Arguments& arguments)
{
    if (arguments.watch)
        return watchPrinters(arguments);
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
    for (const bool relayed : { false, true }) {
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
        printError(
            QStringLiteral("there is no queue named \"%1\"; \"korvanectl printers\" lists them").arg(arguments.queue));
        return 1;
    }
    if (arguments.json) {
        QJsonObject document;
        document.insert(QStringLiteral("scheduler"), PrinterAPI::schedulerName());
        document.insert(
            QStringLiteral("default"), defaultName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(defaultName));
        document.insert(QStringLiteral("printers"), printers);
        printJson(document);
    } else if (printers.isEmpty()) {
        printLine(QStringLiteral("No printers are installed."));
    } else {
        printTable(printers);
    }
    return kExitOk;
}

} // namespace korvanectl
