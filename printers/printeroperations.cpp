// What the page may do to one printer through the scheduler: test page,
// default, delete, share. Administrative requests go through CUPS's own
// authorisation (the password callback); a refused delete is tried once more
// through pkexec with lpadmin.

#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "printers/privilegedretry.h"

#include "sysutil/paths.h"

#include <QDebug>
#include <QFileInfo>

namespace PrinterAPI {

namespace {

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


// The CUPS test page is a banner template that only the scheduler's banner
// filter renders for the queue's driver. Which type that filter takes depends
// on the filters installed: cups-filters renders banners as PDF under its own
// type, CUPS alone under the plain banner type. The test page is sent as the
// first of these the queue takes, by name: left to guess from the file, the
// scheduler would print a test page file that lacks the template's marker as
// whatever it happens to look like.
const char* const kTestPageFormats[] = {"application/vnd.cups-pdf-banner", "application/vnd.cups-banner"};
// A class's members are read one by one; a class has few.
constexpr int kMostClassMembers = 64;

// The printers a job sent to the queue may end up on: the queue itself, or
// for a class its members (the scheduler picks one).
std::vector<cups::QueueAttributes> printersBehind(cups::SpoolerConnection& connection,
                                                  const cups::QueueAttributes& queue)
{
    if (!queue.isClass())
        return {queue};
    std::vector<cups::QueueAttributes> printers;
    for (const QString& member : queue.members) {
        if (int(printers.size()) >= kMostClassMembers)
            break;
        win32::ErrorCode error = win32::kSuccess;
        if (std::optional<cups::QueueAttributes> printer = cups::readQueue(connection, member, error))
            printers.push_back(std::move(*printer));
    }
    return printers;
}

// The format to send the test page as, or nullptr when some printer behind
// the queue could not render it. A printer without a driver passes every
// document to the device untouched: the template's source text would come out
// as text, or as garbage on a printer that speaks only its own language.
const char* testPageFormatFor(const std::vector<cups::QueueAttributes>& printers)
{
    if (printers.empty())
        return nullptr;
    for (const cups::QueueAttributes& printer : printers)
        if (printer.isRaw())
            return nullptr;
    for (const char* format : kTestPageFormats) {
        const QString name = QLatin1String(format);
        if (std::all_of(printers.begin(), printers.end(),
                        [&](const cups::QueueAttributes& p) { return p.documentFormats.contains(name); }))
            return format;
    }
    return nullptr;
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
    const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
    if (!queue)
        return int(error);
    const char* format = testPageFormatFor(printersBehind(connection, *queue));
    if (!format) {
        qInfo("printers: no test page for %s: no driver there renders it", qUtf8Printable(printerName));
        return int(win32::kUnknownPrinterDriver);
    }
    cups_option_t* options = nullptr;
    const int optionCount = cupsAddOption("document-format", format, 0, &options);
    const int job = cupsPrintFile2(connection.httpForCall(), printerName.toUtf8().constData(),
                                   file.toUtf8().constData(), "Test Page", optionCount, options);
    cupsFreeOptions(optionCount, options);
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
        result = runCupsToolAsAdmin(QStringLiteral("lpadmin"), {QStringLiteral("-x"), printerName});
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
