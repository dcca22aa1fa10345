// korvanectl add URI|ADDRESS [--name N] [--json]: the window's "Add this
// printer" and "Add by address". A URI goes to the scheduler as it is; a host
// is asked first (IPP, IPPS, SNMP) and what answered is added: driverless
// when IPP answered, else with the installed driver that fits.

#include "discovery/addressprobe.h"
#include "printers/printerapi.h"
#include "printers/printersetup.h"
#include "sysutil/win32errors.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QJsonObject>
#include <QJsonValue>

namespace korvanectl {

namespace {

constexpr int kExitNotFound = 1;
constexpr int kExitRefused = 3;

QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// What the printer at a host said about itself, with every key present.
QJsonObject foundObject(const QJsonObject& probe)
{
    QJsonObject found;
    found.insert(QStringLiteral("address"), probe.value(QStringLiteral("address")).toString());
    found.insert(QStringLiteral("uri"), probe.value(QStringLiteral("uri")).toString());
    found.insert(QStringLiteral("ipp"), probe.value(QStringLiteral("ipp")).toBool());
    found.insert(QStringLiteral("driverless"), probe.value(QStringLiteral("driverless")).toBool());
    found.insert(QStringLiteral("makeAndModel"), probe.value(QStringLiteral("makeAndModel")).toString());
    found.insert(QStringLiteral("deviceId"), probe.value(QStringLiteral("deviceId")).toString());
    return found;
}

QString foundLine(const QJsonObject& found)
{
    const QString model = found.value(QStringLiteral("makeAndModel")).toString();
    QString how;
    if (!found.value(QStringLiteral("ipp")).toBool())
        how = QStringLiteral("answers SNMP only; raw port 9100");
    else if (found.value(QStringLiteral("driverless")).toBool())
        how = QStringLiteral("IPP Everywhere (driverless)");
    else
        how = QStringLiteral("answers IPP");
    return QStringLiteral("Found at %1: %2 (%3) %4")
        .arg(found.value(QStringLiteral("address")).toString(),
            terminalSafe(model.isEmpty() ? QStringLiteral("unknown model") : model), how,
            found.value(QStringLiteral("uri")).toString());
}

// The make and model the scheduler reports for the new queue: the driver it
// made (driverless) or the one it was given.
QString queueDriver(const QString& name)
{
    const auto records = PrinterAPI::listAllPrinters();
    if (!records)
        return {};
    for (const PrinterAPI::PrinterInfoRecord& record : *records) {
        if (record.serverName.isEmpty() && record.printerName == name)
            return record.driverName;
    }
    return {};
}

struct Outcome {
    int exitCode;
    QString error; // the stable word for --json
    QString message; // what happened and what to do
};

Outcome addFailure(win32::ErrorCode code, const QString& uri, const QString& makeAndModel, const Arguments& arguments)
{
    switch (code) {
    case win32::kInvalidParameter:
    case win32::kInvalidPrinterName:
        return { kExitUsage, QStringLiteral("invalid"), QStringLiteral("the scheduler cannot take this printer") };
    case win32::kPrinterAlreadyExists:
        return { kExitUsage, QStringLiteral("name-taken"),
            QStringLiteral("a queue named \"%1\" exists already; choose another --name, or remove that queue first "
                           "(lpadmin -x %1)")
                .arg(arguments.name) };
    case win32::kUnknownPrinterDriver:
        return { kExitNotFound, QStringLiteral("no-driver"),
            QStringLiteral("no installed driver fits %1; install the maker's Linux driver (or a printer-driver-* "
                           "package) and try again, or add the printer's ipp:// URI if it has one")
                .arg(makeAndModel.isEmpty() ? QStringLiteral("a printer of unknown model (give its address "
                                                             "instead of a socket:// URI so it can be asked)")
                                            : QStringLiteral("\"%1\"").arg(terminalSafe(makeAndModel))) };
    case win32::kPrinterNotFound:
        return { kExitNotFound, QStringLiteral("unreachable"),
            QStringLiteral("the print scheduler could not reach the printer at %1; check that it is on and that "
                           "this computer reaches it (nothing was added)")
                .arg(uri) };
    case win32::kRpcServerUnavailable:
        return { kExitRefused, QStringLiteral("no-scheduler"),
            QStringLiteral("the print scheduler at \"%1\" does not answer; start it (systemctl start cups) or run "
                           "\"korvanectl check\"")
                .arg(terminalSafe(PrinterAPI::schedulerName())) };
    case win32::kAccessDenied:
        return { kExitRefused, QStringLiteral("refused"),
            QStringLiteral("the print scheduler refused to add the queue, and administrator rights were not "
                           "granted; run as root (sudo korvanectl add ...) or as a member of the lpadmin group") };
    default:
        return { kExitRefused, QStringLiteral("failed"),
            QStringLiteral("the print scheduler could not add the queue (error %1); \"korvanectl check\" may tell "
                           "why")
                .arg(code) };
    }
}

} // namespace

int runAdd(const Arguments& arguments)
{
    QJsonObject document;
    document.insert(QStringLiteral("added"), false);
    document.insert(QStringLiteral("queue"), QJsonValue::Null);
    document.insert(QStringLiteral("uri"), QJsonValue::Null);
    document.insert(QStringLiteral("driverless"), false);
    document.insert(QStringLiteral("driver"), QJsonValue::Null);
    document.insert(QStringLiteral("found"), QJsonValue::Null);
    document.insert(QStringLiteral("error"), QJsonValue::Null);
    const auto finish = [&](const Outcome& outcome) {
        if (outcome.exitCode != kExitOk) {
            document.insert(QStringLiteral("error"), outcome.error);
            printError(outcome.message);
        }
        if (arguments.json)
            printJson(document);
        return outcome.exitCode;
    };

    QString uri;
    QString makeAndModel;
    QString deviceId;
    if (isPrinterUri(arguments.target)) {
        uri = arguments.target;
    } else {
        const QJsonObject probe = discovery::probeNetworkPrinter(arguments.target);
        const auto code = win32::ErrorCode(probe.value(QStringLiteral("code")).toInt(-1));
        if (code == win32::kInvalidName)
            return finish({ kExitNotFound, QStringLiteral("unknown-host"),
                QStringLiteral("the name \"%1\" does not resolve to an address; check its spelling or give the "
                               "printer's IP address")
                    .arg(arguments.target) });
        if (code == win32::kPrinterNotFound)
            return finish({ kExitNotFound, QStringLiteral("nothing-found"),
                QStringLiteral("no printer answered at %1 (IPP on port 631, IPPS, SNMP); check the address and that "
                               "the printer is on, or add its URI (socket://%1:9100)")
                    .arg(arguments.target) });
        if (code != win32::kSuccess)
            return finish({ kExitUsage, QStringLiteral("invalid"),
                QStringLiteral("\"%1\" cannot be asked as a printer address").arg(arguments.target) });
        const QJsonObject found = foundObject(probe);
        document.insert(QStringLiteral("found"), found);
        if (!arguments.json)
            printLine(foundLine(found));
        uri = found.value(QStringLiteral("uri")).toString();
        makeAndModel = found.value(QStringLiteral("makeAndModel")).toString();
        deviceId = found.value(QStringLiteral("deviceId")).toString();
    }
    const bool driverless = PrinterAPI::isValidIppPrinterUri(uri);
    document.insert(QStringLiteral("uri"), uri);
    document.insert(QStringLiteral("driverless"), driverless);

    const QJsonObject added = PrinterAPI::addNetworkPrinter(uri, makeAndModel, deviceId, arguments.name);
    const auto code = win32::ErrorCode(added.value(QStringLiteral("code")).toInt(-1));
    if (code != win32::kSuccess)
        return finish(addFailure(code, uri, makeAndModel, arguments));
    const QString name = added.value(QStringLiteral("printerName")).toString();
    const QString driver = queueDriver(name);
    document.insert(QStringLiteral("added"), true);
    document.insert(QStringLiteral("queue"), name);
    document.insert(QStringLiteral("driver"), textOrNull(driver));
    if (!arguments.json) {
        const QString safeDriver = terminalSafe(driver);
        QString how;
        if (driverless)
            how = driver.isEmpty() ? QStringLiteral("driverless") : QStringLiteral("driverless (%1)").arg(safeDriver);
        else
            how = driver.isEmpty() ? QStringLiteral("with an installed driver")
                                   : QStringLiteral("with the driver \"%1\"").arg(safeDriver);
        printLine(QStringLiteral("Added queue \"%1\" for %2: %3").arg(terminalSafe(name), uri, how));
    }
    return finish({ kExitOk, {}, {} });
}

} // namespace korvanectl
