#include "repair/cupsconnection.h"

#include <QFileInfo>

namespace repair {

namespace {
// libcups asks on the terminal for a password by default; a desktop program
// has none, so a request that needs one fails instead.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}
}  // namespace

QString schedulerAddress()
{
    const QString fromEnvironment = qEnvironmentVariable("CUPS_SERVER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QString::fromUtf8(cupsServer());
}

SchedulerConnection connectScheduler(int timeoutMs)
{
    SchedulerConnection result;
    const QString address = schedulerAddress();
    QByteArray host = address.toUtf8();
    int port = ippPort();
    if (!address.startsWith(QLatin1Char('/'))) {
        // "host:port" as libcups writes it; an IPv6 literal keeps its brackets.
        const int colon = address.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && !address.endsWith(QLatin1Char(']'))) {
            bool numeric = false;
            const int parsed = address.mid(colon + 1).toInt(&numeric);
            if (numeric && parsed > 0 && parsed < 65536) {
                port = parsed;
                host = address.left(colon).toUtf8();
            }
        }
    } else if (!QFileInfo::exists(address)) {
        result.error = win32::kFileNotFound;
        return result;
    }
    cupsSetPasswordCB2(noPassword, nullptr);
    // The budget covers connecting and one answer: a scheduler that accepts
    // and then says nothing costs no more than a refused one plus the wait.
    const int stepMs = timeoutMs / 2;
    result.http.reset(httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                   stepMs, nullptr));
    if (!result.http) {
        result.error = win32::kRpcServerUnavailable;
        return result;
    }
    // Without a callback libcups gives up when the time-out passes.
    httpSetTimeout(result.http.get(), stepMs / 1000.0, nullptr, nullptr);
    return result;
}

IppPtr sendRequest(http_t* http, IppPtr request, const char* resource)
{
    // cupsDoRequest frees the request whatever happens.
    return IppPtr(cupsDoRequest(http, request.release(), resource));
}

bool isValidQueueName(const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    if (bytes.isEmpty() || bytes.size() > 127)
        return false;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '/' || c == '\\' || c == '?' || c == '#' || c == '\'' || c == '"')
            return false;
    }
    return true;
}

QByteArray printerUri(const QString& name)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     name.toUtf8().constData());
    return QByteArray(uri);
}

win32::ErrorCode errorFromIpp(ipp_status_t status)
{
    if (status <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return win32::kSuccess;
    switch (status) {
    case IPP_STATUS_ERROR_NOT_FOUND: return win32::kInvalidPrinterName;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED: return win32::kAccessDenied;
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE: return win32::kRpcServerUnavailable;
    default: return win32::kGenFailure;
    }
}

}  // namespace repair
