// Creating queues for network printers: name, request, privileged retry.

#include "printers/printersetup.h"

#include "printers/cupsconnection.h"
#include "printers/ppdmatch.h"
#include "printers/printerapi.h"
#include "printers/privilegedretry.h"

#include "sysutil/hostname.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QSet>
#include <QUrl>

namespace PrinterAPI {

namespace {

constexpr int kMaxUriBytes = 1024;
constexpr int kMaxNameBytes = 127;
constexpr int kMaxMakeAndModelChars = 256;
constexpr int kMaxDeviceIdChars = 1024;
constexpr int kPpdListWaitMs = 30 * 1000;
constexpr int kDriverlessWaitMs = 10 * 1000;
constexpr std::size_t kMaxPpds = 100000;

bool isNameCharacter(QChar c)
{
    if (c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace() || c == QChar::ReplacementCharacter)
        return false;
    return !QStringLiteral("/\\?'\"#").contains(c);
}

bool isBracketedIpv6(const QString& host)
{
    if (host.size() < 4 || host.size() > 48 || host.front() != QLatin1Char('[') || host.back() != QLatin1Char(']'))
        return false;
    for (int i = 1; i < host.size() - 1; ++i) {
        const ushort u = host.at(i).unicode();
        const bool ok = (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || (u >= '0' && u <= '9') || u == ':' ||
                        u == '.';
        if (!ok)
            return false;
    }
    return true;
}

// Names of every queue and class the scheduler has; nullopt when it did not answer.
std::optional<QStringList> existingQueueNames(cups::SpoolerConnection& connection, win32::ErrorCode& error)
{
    QStringList names;
    for (const ipp_op_t operation : {IPP_OP_CUPS_GET_PRINTERS, IPP_OP_CUPS_GET_CLASSES}) {
        cups::IppPtr request = cups::newRequest(operation);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                     "printer-name");
        const cups::Reply reply = connection.send(std::move(request));
        // An empty list is "not found" to CUPS.
        if (!reply.response) {
            error = reply.error;
            return std::nullopt;
        }
        for (ipp_attribute_t* a = ippFindAttribute(reply.response.get(), "printer-name", IPP_TAG_NAME); a;
             a = ippFindNextAttribute(reply.response.get(), "printer-name", IPP_TAG_NAME))
            names << cups::attributeText(a);
    }
    return names;
}

QString queueMakeAndModel(cups::SpoolerConnection& connection, const QString& name)
{
    cups::IppPtr request = cups::newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    cups::addDestinationUri(request.get(), name);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-make-and-model");
    const cups::Reply reply = connection.send(std::move(request));
    if (!reply.ok())
        return {};
    return cups::attributeText(ippFindAttribute(reply.response.get(), "printer-make-and-model", IPP_TAG_TEXT));
}

// The scheduler makes a driverless queue's PPD from the printer's answer;
// when the printer did not answer it leaves a raw queue that prints nothing
// useful. Waits a little for the PPD, in case the scheduler is still asking.
bool becameDriverless(cups::SpoolerConnection& connection, const QString& name)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const QString model = queueMakeAndModel(connection, name);
        if (!model.isEmpty() && model != QLatin1String("Local Raw Printer"))
            return true;
        if (clock.elapsed() >= kDriverlessWaitMs)
            return false;
        QThread::msleep(20);
    }
}

QJsonObject result(win32::ErrorCode code, const QString& name = {})
{
    QJsonObject object{{QStringLiteral("code"), qint64(code)}};
    if (code == win32::kSuccess)
        object.insert(QStringLiteral("printerName"), name);
    return object;
}

}  // namespace

namespace {

// Whether the URI is SCHEME://HOST[:PORT] followed by a path (required
// unless pathOptional), for one of the schemes, every character safe.
bool isValidUri(const QString& uri, const QStringList& schemes, bool pathOptional)
{
    if (uri.isEmpty() || uri.size() > kMaxUriBytes)
        return false;
    for (const QChar c : uri) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == '"' || u == '\'' || u == '\\' || u == '<' || u == '>' || u == '`')
            return false;
    }
    int rest = 0;
    for (const QString& scheme : schemes) {
        if (uri.startsWith(scheme + QLatin1String("://")))
            rest = int(scheme.size()) + 3;
    }
    if (rest == 0)
        return false;
    int slash = uri.indexOf(QLatin1Char('/'), rest);
    if (slash < 0) {
        if (!pathOptional)
            return false;
        slash = int(uri.size());
    }
    const QString authority = uri.mid(rest, slash - rest);
    if (authority.contains(QLatin1Char('@')))
        return false;
    QString host = authority;
    QString port;
    const int close = authority.lastIndexOf(QLatin1Char(']'));
    const int colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon > close) {
        host = authority.left(colon);
        port = authority.mid(colon + 1);
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535 || port.size() > 5 || port.startsWith(QLatin1Char('+')))
            return false;
    }
    if (!sysutil::isHostName(host) && !isBracketedIpv6(host))
        return false;
    return !uri.mid(slash).contains(QLatin1String("//"));
}

// The installed drivers the scheduler lists; nullopt when it did not answer.
std::optional<std::vector<PpdEntry>> installedPpds(win32::ErrorCode& error)
{
    // The scheduler's driver helper may take a while to read every driver.
    cups::SpoolerConnection connection(kPpdListWaitMs);
    if (!connection.isOpen()) {
        error = win32::kRpcServerUnavailable;
        return std::nullopt;
    }
    cups::IppPtr request = cups::newRequest(IPP_OP_CUPS_GET_PPDS);
    static const char* const wanted[] = {"ppd-name", "ppd-make-and-model", "ppd-device-id"};
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    const cups::Reply reply = connection.send(std::move(request));
    if (!reply.response) {
        error = reply.error;
        return std::nullopt;
    }
    std::vector<PpdEntry> entries;
    PpdEntry entry;
    const auto flush = [&entries, &entry] {
        if (!entry.name.isEmpty() && entries.size() < kMaxPpds)
            entries.push_back(entry);
        entry = PpdEntry();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(reply.response.get()); a; a = ippNextAttribute(reply.response.get())) {
        const char* name = ippGetName(a);
        if (!name) {
            flush();
            continue;
        }
        const QLatin1String key(name);
        if (key == QLatin1String("ppd-name"))
            entry.name = cups::attributeText(a);
        else if (key == QLatin1String("ppd-make-and-model"))
            entry.makeAndModel = cups::attributeText(a);
        else if (key == QLatin1String("ppd-device-id"))
            entry.deviceId = cups::attributeText(a);
    }
    flush();
    return entries;
}

}  // namespace

bool isValidIppPrinterUri(const QString& uri)
{
    return isValidUri(uri, {QStringLiteral("ipp"), QStringLiteral("ipps")}, false);
}

bool isValidSocketPrinterUri(const QString& uri)
{
    return isValidUri(uri, {QStringLiteral("socket")}, true) &&
           !uri.mid(9).contains(QLatin1Char('/'));  // socket://HOST[:PORT], nothing after
}

QString queueNameFor(const QString& makeAndModel, const QStringList& existingNames)
{
    QString base;
    bool pendingSeparator = false;
    for (int i = 0; i < makeAndModel.size() && i < kMaxMakeAndModelChars; ++i) {
        const QChar c = makeAndModel.at(i);
        QString piece(c);
        if (c.isHighSurrogate() && i + 1 < makeAndModel.size() && makeAndModel.at(i + 1).isLowSurrogate()) {
            piece += makeAndModel.at(++i);
        } else if (c.isSurrogate() || !isNameCharacter(c)) {
            pendingSeparator = true;
            continue;
        }
        if (pendingSeparator && !base.isEmpty())
            base += QLatin1Char('_');
        pendingSeparator = false;
        base += piece;
    }
    if (base.isEmpty())
        base = QStringLiteral("Printer");

    QSet<QString> taken;
    for (const QString& name : existingNames)
        taken.insert(name.toCaseFolded());
    // Cut to fit with the suffix, never inside a character.
    const auto fitted = [&base](const QString& suffix) -> QString {
        QString name = base;  // a QString, not a builder over a local
        while (!name.isEmpty() && (name + suffix).toUtf8().size() > kMaxNameBytes) {
            name.chop(1);
            if (!name.isEmpty() && QChar(name.back()).isHighSurrogate())
                name.chop(1);
        }
        return name + suffix;
    };
    QString candidate = fitted(QString());
    for (int n = 2; taken.contains(candidate.toCaseFolded()); ++n)
        candidate = fitted(QStringLiteral("_%1").arg(n));
    return candidate;
}

namespace {

// A new queue for the device URI: driverless (the scheduler asks the IPP
// printer at the URI) or with the installed driver that fits the device id
// and make and model; named QUEUENAME, else after the make and model. The URI
// and the name have been checked.
QJsonObject addQueue(const QString& uri, const QString& makeAndModel, const QString& deviceId, bool driverless,
                     const QString& queueName)
{
    const QString description = makeAndModel.left(kMaxMakeAndModelChars);
    cups::SpoolerConnection connection;
    if (!connection.isOpen())
        return result(win32::kRpcServerUnavailable);
    win32::ErrorCode error = win32::kGenFailure;
    const std::optional<QStringList> existing = existingQueueNames(connection, error);
    if (!existing)
        return result(error);
    if (!queueName.isEmpty()) {
        for (const QString& taken : *existing) {
            if (taken.compare(queueName, Qt::CaseInsensitive) == 0)
                return result(win32::kPrinterAlreadyExists);
        }
    }

    QString model = QStringLiteral("everywhere");
    if (!driverless) {
        const std::optional<std::vector<PpdEntry>> ppds = installedPpds(error);
        if (!ppds)
            return result(error);
        model = matchPpd(*ppds, deviceId.left(kMaxDeviceIdChars), description);
        if (model.isEmpty()) {
            qInfo("printers: no installed driver for %s", qPrintable(description));
            return result(win32::kUnknownPrinterDriver);
        }
    }
    const QString name = queueName.isEmpty() ? queueNameFor(description, *existing) : queueName;

    cups::IppPtr request = cups::newRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    cups::addDestinationUri(request.get(), name);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "ppd-name", nullptr, model.toUtf8().constData());
    ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, uri.toUtf8().constData());
    if (!description.isEmpty())
        ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                     description.toUtf8().constData());
    ippAddInteger(request.get(), IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    ippAddBoolean(request.get(), IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    const cups::Reply reply = connection.send(std::move(request), "/admin/");
    win32::ErrorCode code = reply.error;
    if (code == win32::kAccessDenied) {
        code = runCupsToolAsAdmin(QStringLiteral("lpadmin"), {QStringLiteral("-p"), name, QStringLiteral("-E"),
                                                              QStringLiteral("-v"), uri, QStringLiteral("-m"), model});
    } else if (!reply.ok()) {
        qInfo("printers: adding %s failed: %s", qPrintable(name), cups::lastReplyText());
    }
    // (After lpadmin through pkexec this connection could not remove it anyway.)
    if (reply.ok() && driverless && !becameDriverless(connection, name)) {
        qInfo("printers: the scheduler could not reach %s; removing the raw queue %s", qPrintable(uri),
              qPrintable(name));
        cups::IppPtr remove = cups::newRequest(IPP_OP_CUPS_DELETE_PRINTER);
        cups::addDestinationUri(remove.get(), name);
        connection.send(std::move(remove), "/admin/");
        code = win32::kPrinterNotFound;
    }
    if (code == win32::kSuccess)
        PrinterMonitor::instance().refreshSoon();
    return result(code, name);
}

}  // namespace

QJsonObject addNetworkPrinter(const QString& uri, const QString& makeAndModel, const QString& deviceId,
                              const QString& queueName)
{
    const bool driverless = isValidIppPrinterUri(uri);
    if (!driverless && !isValidSocketPrinterUri(uri))
        return result(win32::kInvalidParameter);
    if (!queueName.isEmpty() && !cups::isValidPrinterName(queueName))
        return result(win32::kInvalidPrinterName);
    return addQueue(uri, makeAndModel, deviceId, driverless, queueName);
}

bool isValidUsbDeviceUri(const QString& uri)
{
    static const QString kScheme = QStringLiteral("usb://");
    if (uri.size() <= kScheme.size() || uri.size() > kMaxUriBytes || !uri.startsWith(kScheme))
        return false;
    for (const QChar c : uri) {
        const ushort u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == '"' || u == '\'' || u == '\\' || u == '<' || u == '>' || u == '`')
            return false;
    }
    const QString path = uri.mid(kScheme.size()).section(QLatin1Char('?'), 0, 0);
    return path.contains(QLatin1Char('/')) && !path.startsWith(QLatin1Char('/')) && !path.contains(QLatin1String(".."));
}

QJsonObject addUsbDeviceQueue(const QString& uri, const QString& makeAndModel, const QString& deviceId)
{
    if (!isValidUsbDeviceUri(uri))
        return result(win32::kInvalidParameter);
    return addQueue(uri, makeAndModel, deviceId, false, QString());
}

}  // namespace PrinterAPI
