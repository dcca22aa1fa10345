#include "printers/cupsconnection.h"

#include "printers/printerapi.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

namespace PrinterAPI {

namespace {

std::mutex& promptLock()
{
    static std::mutex lock;
    return lock;
}

PasswordPrompt& installedPrompt()
{
    static PasswordPrompt prompt;
    return prompt;
}

// Per thread, like libcups's own state: the answer must outlive the callback,
// and a wrong password must not make libcups ask forever.
thread_local std::string t_password;
thread_local int t_promptsThisRequest = 0;
constexpr int kMaxPromptsPerRequest = 3;

thread_local int t_waitMs = cups::kTimeoutMs;

// libcups reads CUPS_SERVER once per thread and keeps what it found; a
// variable changed since then (a test pointing elsewhere, a restarted private
// scheduler) must still be obeyed by the next connection.
void followServerVariable()
{
    thread_local std::optional<QByteArray> t_seen;
    QByteArray now = qgetenv("CUPS_SERVER");
    if (t_seen && *t_seen == now)
        return;
    t_seen = std::move(now);
    cupsSetServer(nullptr);
}

const char* passwordCallback(const char* prompt, http_t*, const char*, const char*, void*)
{
    if (++t_promptsThisRequest > kMaxPromptsPerRequest)
        return nullptr;
    PasswordPrompt ask;
    {
        std::lock_guard<std::mutex> guard(promptLock());
        ask = installedPrompt();
    }
    if (!ask) {
        qInfo("printers: the scheduler asked for a password and no prompt is installed");
        return nullptr;
    }
    const std::optional<QString> answer =
        ask(QString::fromUtf8(prompt ? prompt : ""), QString::fromUtf8(cupsUser()));
    if (!answer)
        return nullptr;
    t_password = answer->toStdString();
    return t_password.c_str();
}

}  // namespace

void setPasswordPrompt(PasswordPrompt prompt)
{
    std::lock_guard<std::mutex> guard(promptLock());
    installedPrompt() = std::move(prompt);
}

SchedulerWaitLimit::SchedulerWaitLimit(int waitMs)
    : m_previousMs(t_waitMs)
{
    t_waitMs = std::max(waitMs, 1);
}

SchedulerWaitLimit::~SchedulerWaitLimit()
{
    t_waitMs = m_previousMs;
}

QString schedulerName()
{
    return cups::SpoolerConnection::serverName();
}

QString schedulerAddress()
{
    QString server = cups::SpoolerConnection::serverName();
    if (server.startsWith(QLatin1Char('/')) || ippPort() == IPP_PORT)
        return server;
    if (server.contains(QLatin1Char(':')) && !server.startsWith(QLatin1Char('[')))
        server = QLatin1Char('[') + server + QLatin1Char(']');
    return server + QLatin1Char(':') + QString::number(ippPort());
}

namespace cups {

int currentWaitMs()
{
    return t_waitMs;
}

SpoolerConnection::SpoolerConnection(int waitMs)
{
    followServerVariable();
    cupsSetPasswordCB2(passwordCallback, nullptr);
    // The server first: reading it also settles the port a "host:port" names.
    const char* server = cupsServer();
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, waitMs, nullptr);
    if (!http) {
        qInfo() << "printers: cannot reach the scheduler at" << serverName();
        return;
    }
    // No callback: when the time is up the request fails instead of asking.
    httpSetTimeout(http, waitMs / 1000.0, nullptr, nullptr);
    m_http.reset(http);
}

Reply SpoolerConnection::send(IppPtr request, const char* resource)
{
    Reply reply;
    if (!m_http) {
        reply.status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        reply.error = win32::kRpcServerUnavailable;
        return reply;
    }
    t_promptsThisRequest = 0;
    const ipp_op_t operation = ippGetOperation(request.get());
    // cupsDoRequest frees the request whatever happens.
    reply.response.reset(cupsDoRequest(m_http.get(), request.release(), resource));
    reply.status = reply.response ? ippGetStatusCode(reply.response.get()) : cupsLastError();
    reply.error = errorFromIpp(reply.status, reply.response != nullptr);
    if (!reply.ok())
        qInfo("printers: %s on %s failed: %s", ippOpString(operation), resource, cupsLastErrorString());
    return reply;
}

http_t* SpoolerConnection::httpForCall()
{
    t_promptsThisRequest = 0;
    return m_http.get();
}

QString SpoolerConnection::serverName()
{
    followServerVariable();
    return QString::fromUtf8(cupsServer());
}

bool SpoolerConnection::serverIsLocal()
{
    const QString server = serverName();
    return server.startsWith(QLatin1Char('/')) || server == QLatin1String("localhost") ||
           server.startsWith(QLatin1String("127.")) || server == QLatin1String("::1");
}

IppPtr newRequest(ipp_op_t operation)
{
    IppPtr request(ippNewRequest(operation));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

QByteArray destinationUri(const QString& name, bool isClass)
{
    char uri[HTTP_MAX_URI];
    const QByteArray utf8 = name.toUtf8();
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     isClass ? "/classes/%s" : "/printers/%s", utf8.constData());
    return QByteArray(uri);
}

void addDestinationUri(ipp_t* request, const QString& name, bool isClass)
{
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 destinationUri(name, isClass).constData());
}

bool isValidPrinterName(const QString& name)
{
    // The scheduler's own rule, byte by byte over the UTF-8 name: at most 127
    // bytes, no ASCII control character, space or DEL, none of / \ ? ' " #.
    // Anything else, non-ASCII spaces included, is a name CUPS accepts.
    if (name.isEmpty())
        return false;
    // A lone surrogate has no UTF-8 form; the name could only reach the
    // scheduler mangled.
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() > 127)
        return false;
    for (const char byte : utf8) {
        const auto b = static_cast<unsigned char>(byte);
        if (b <= 0x20 || b == 0x7F || b == '/' || b == '\\' || b == '?' || b == '\'' || b == '"' || b == '#')
            return false;
    }
    return true;
}

win32::ErrorCode errorFromIpp(ipp_status_t status, bool answered)
{
    if (answered && status <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return win32::kSuccess;
    switch (status) {
    case IPP_STATUS_ERROR_NOT_FOUND: return win32::kInvalidPrinterName;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
    case IPP_STATUS_ERROR_CUPS_PKI: return win32::kAccessDenied;
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE: return win32::kRpcServerUnavailable;
    default: break;
    }
    // No answer at all: the scheduler is gone, refused us, or timed out.
    return answered ? win32::kGenFailure : win32::kRpcServerUnavailable;
}

QString attributeText(ipp_attribute_t* attribute, int index)
{
    if (!attribute)
        return {};
    const char* text = ippGetString(attribute, index, nullptr);
    return text ? QString::fromUtf8(text) : QString();
}

}  // namespace cups
}  // namespace PrinterAPI
