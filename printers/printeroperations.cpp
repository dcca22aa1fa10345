// What the page may do to one printer through the scheduler: test page,
// default, delete, share. Administrative requests go through CUPS's own
// authorisation (the password callback); a refused delete is tried once more
// through pkexec with lpadmin.

#include "printers/cupsspooler.h"
#include "printers/printerapi.h"

#include "sysutil/paths.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace PrinterAPI {

namespace {

// The privileged retry waits for the user to answer the authentication
// dialog; past this the answer no longer matters to the page.
constexpr int kPrivilegedWaitMs = 120 * 1000;

QString testPagePath()
{
    return sysutil::envPath("KORVANE_CUPS_TESTPAGE", QStringLiteral("/usr/share/cups/data/testprint"));
}

cups::Reply sendAdminRequest(cups::SpoolerConnection& connection, ipp_op_t operation, const QString& name,
                             bool isClass, const std::function<void(ipp_t*)>& addAttributes = {})
{
    cups::IppPtr request = cups::newRequest(operation);
    cups::addDestinationUri(request.get(), name, isClass);
    if (addAttributes)
        addAttributes(request.get());
    return connection.send(std::move(request), "/admin/");
}

// lpadmin -x through pkexec, at the scheduler this program talks to (pkexec
// clears the environment, so CUPS_SERVER would not reach lpadmin).
win32::ErrorCode deleteThroughPkexec(const QString& name)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    QString lpadmin = QStandardPaths::findExecutable(QStringLiteral("lpadmin"));
    if (lpadmin.isEmpty())
        lpadmin = QStandardPaths::findExecutable(QStringLiteral("lpadmin"),
                                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (pkexec.isEmpty() || lpadmin.isEmpty()) {
        qInfo("printers: delete refused and no pkexec/lpadmin to retry with");
        return win32::kAccessDenied;
    }
    const QString server = schedulerAddress();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(pkexec, {lpadmin, QStringLiteral("-h"), server, QStringLiteral("-x"), name});
    if (!process.waitForStarted(cups::kTimeoutMs))
        return win32::kAccessDenied;
    if (!process.waitForFinished(kPrivilegedWaitMs)) {
        process.kill();
        process.waitForFinished(cups::kTimeoutMs);
        return win32::kAccessDenied;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return win32::kGenFailure;
    switch (process.exitCode()) {
    case 0: return win32::kSuccess;
    case 126:  // the user dismissed the dialog
    case 127:  // not authorised
        return win32::kAccessDenied;
    default: return win32::kGenFailure;
    }
}

}  // namespace

int printTestPage(const QString& printerName, const QString&)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    const QString file = testPagePath();
    if (!QFileInfo(file).isFile())
        return int(win32::kFileNotFound);
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    if (!cups::readQueue(connection, printerName, error))
        return int(error);
    // application/octet-stream lets the scheduler type the file itself.
    const int job = cupsPrintFile2(connection.httpForCall(), printerName.toUtf8().constData(),
                                   file.toUtf8().constData(), "Test Page", 0, nullptr);
    if (job <= 0) {
        qInfo("printers: test page to %s failed: %s", qPrintable(printerName), cupsLastErrorString());
        return int(cups::errorFromIpp(cupsLastError(), true));
    }
    PrinterMonitor::instance().refreshSoon();
    return int(win32::kSuccess);
}

bool setDefaultPrinter(const QString& printerName, const QString&)
{
    if (!cups::isValidPrinterName(printerName))
        return false;
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
    if (!queue)
        return false;
    if (!cups::writeUserDefault(queue->name)) {
        qInfo("printers: cannot write the user's lpoptions file");
        return false;
    }
    PrinterMonitor::instance().refreshSoon();
    return true;
}

int deletePrinter(const QString& printerName, const QString& serverName)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    cups::SpoolerConnection connection;
    if (!connection.isOpen())
        return int(win32::kRpcServerUnavailable);
    bool isClass = false;
    if (serverName.isEmpty()) {
        // A queue of ours: read it first, to know printer from class.
        win32::ErrorCode error = win32::kSuccess;
        const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
        if (!queue)
            return int(error);
        isClass = queue->isClass();
    }
    cups::Reply reply = sendAdminRequest(connection, isClass ? IPP_OP_CUPS_DELETE_CLASS : IPP_OP_CUPS_DELETE_PRINTER,
                                         printerName, isClass);
    // A relayed queue ("connection") is not read first; it may be a class.
    if (!serverName.isEmpty() && reply.status == IPP_STATUS_ERROR_NOT_POSSIBLE)
        reply = sendAdminRequest(connection, IPP_OP_CUPS_DELETE_CLASS, printerName, true);
    win32::ErrorCode result = reply.error;
    if (result == win32::kAccessDenied)
        result = deleteThroughPkexec(printerName);
    if (result == win32::kSuccess)
        PrinterMonitor::instance().refreshSoon();
    return int(result);
}

int sharePrinter(const QString& printerName, const QString&, bool share)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
    if (!queue)
        return int(error);
    const bool isClass = queue->isClass();
    const cups::Reply reply = sendAdminRequest(
        connection, isClass ? IPP_OP_CUPS_ADD_MODIFY_CLASS : IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue->name, isClass,
        [share](ipp_t* request) { ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-shared", share); });
    if (reply.ok())
        PrinterMonitor::instance().refreshSoon();
    return int(reply.error);
}

}  // namespace PrinterAPI
