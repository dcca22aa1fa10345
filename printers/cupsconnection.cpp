#include "printers/cupsconnection.h"

#include "printers/printerapi.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

// The scheduler's words on the last request of this thread, for messages.
thread_local std::string t_lastReplyText;

// The IPP status libcups gives a request that got no IPP answer, by the HTTP
// status it got instead.
ipp_status_t ippStatusFromHttp(http_status_t status)
{
    switch (status) {
    case HTTP_STATUS_NOT_FOUND: return IPP_STATUS_ERROR_NOT_FOUND;
    case HTTP_STATUS_UNAUTHORIZED: return IPP_STATUS_ERROR_NOT_AUTHENTICATED;
    case HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED: return IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED;
    case HTTP_STATUS_FORBIDDEN: return IPP_STATUS_ERROR_FORBIDDEN;
    case HTTP_STATUS_BAD_REQUEST: return IPP_STATUS_ERROR_BAD_REQUEST;
    case HTTP_STATUS_REQUEST_TOO_LARGE: return IPP_STATUS_ERROR_REQUEST_VALUE;
    case HTTP_STATUS_NOT_IMPLEMENTED: return IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED;
    case HTTP_STATUS_NOT_SUPPORTED: return IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED;
    case HTTP_STATUS_UPGRADE_REQUIRED: return IPP_STATUS_ERROR_CUPS_UPGRADE_REQUIRED;
    case HTTP_STATUS_CUPS_PKI_ERROR: return IPP_STATUS_ERROR_CUPS_PKI;
    case HTTP_STATUS_ERROR: return IPP_STATUS_ERROR_INTERNAL;
    default: return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
    }
}

// The body of an answer, read in blocks. libcups's own ippRead asks the
// socket for every tag, length, name and value on its own, and with a time
// limit set waits for the socket before each of those reads: some 100,000
// system calls for the attributes of 500 queues, most of the time of a
// listing. httpRead2 keeps the limit on each wait and stops at the end of
// the body.
struct BodyReader {
    http_t* http = nullptr;
    std::vector<ipp_uchar_t> block = std::vector<ipp_uchar_t>(32768);
    std::size_t start = 0;
    std::size_t end = 0;
};

ssize_t readBody(void* context, ipp_uchar_t* data, std::size_t length)
{
    auto& reader = *static_cast<BodyReader*>(context);
    std::size_t done = 0;
    while (done < length) {
        if (reader.start == reader.end) {
            const ssize_t got =
                httpRead2(reader.http, reinterpret_cast<char*>(reader.block.data()), reader.block.size());
            if (got <= 0)
                return done > 0 ? ssize_t(done) : got;
            reader.start = 0;
            reader.end = std::size_t(got);
        }
        const std::size_t take = std::min(length - done, reader.end - reader.start);
        std::memcpy(data + done, reader.block.data() + reader.start, take);
        reader.start += take;
        done += take;
    }
    return ssize_t(done);
}

// What cupsGetResponse does, reading the IPP message through BodyReader.
// Whatever follows the message (no request sent through send() has
// anything) is read and dropped. Returns the HTTP status; an answer that is
// not a whole IPP message counts as HTTP_STATUS_ERROR.
http_status_t readResponse(http_t* http, const char* resource, cups::IppPtr& response, int waitMs)
{
    const http_state_t state = httpGetState(http);
    if (state != HTTP_STATE_POST_RECV && state != HTTP_STATE_POST_SEND)
        return HTTP_STATUS_ERROR;
    http_status_t status = HTTP_STATUS_CONTINUE;
    do
        status = httpUpdate(http);
    while (status == HTTP_STATUS_CONTINUE);
    if (status == HTTP_STATUS_OK) {
        cups::IppPtr message(ippNew());
        BodyReader reader;
        reader.http = http;
        ipp_state_t read = IPP_STATE_IDLE;
        while ((read = ippReadIO(&reader, readBody, 1, nullptr, message.get())) != IPP_STATE_DATA)
            if (read == IPP_STATE_ERROR)
                break;
        if (httpGetState(http) != HTTP_STATE_WAITING)
            httpFlush(http);
        if (read == IPP_STATE_ERROR)
            return HTTP_STATUS_ERROR;
        response = std::move(message);
        return status;
    }
    if (status == HTTP_STATUS_ERROR)
        return status;
    httpFlush(http);
    if (status == HTTP_STATUS_UNAUTHORIZED) {
        if (cupsDoAuthentication(http, "POST", resource) != 0)
            return HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED;
        httpReconnect2(http, waitMs, nullptr);
    } else if (status == HTTP_STATUS_UPGRADE_REQUIRED) {
        if (httpReconnect2(http, waitMs, nullptr) == 0)
            httpEncryption(http, HTTP_ENCRYPTION_REQUIRED);
    }
    return status;
}

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

const char* lastReplyText()
{
    return t_lastReplyText.c_str();
}

SpoolerConnection::SpoolerConnection(int waitMs)
    : m_waitMs(waitMs)
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
        t_lastReplyText = "no connection to the scheduler";
        return reply;
    }
    t_promptsThisRequest = 0;
    http_t* http = m_http.get();
    const ipp_op_t operation = ippGetOperation(request.get());
    // What libcups's cupsDoRequest does, except for reading the answer (see
    // readResponse): the same authentication, upgrade and reconnection steps.
    // "Local" credentials are for one request of one scheduler process.
    if (const char* auth = httpGetAuthString(http); auth && std::strncmp(auth, "Local ", 6) == 0)
        httpSetAuthString(http, nullptr, nullptr);
    http_status_t status = HTTP_STATUS_ERROR;
    // Each round either gets an answer or acts on a refusal (asks for a
    // password, which is itself limited, or turns on encryption).
    constexpr int kMaxRounds = kMaxPromptsPerRequest + 3;
    for (int round = 0; round < kMaxRounds && !reply.response; ++round) {
        status = cupsSendRequest(http, request.get(), resource, ippLength(request.get()));
        if (status != HTTP_STATUS_ERROR && (status <= HTTP_STATUS_CONTINUE || status == HTTP_STATUS_OK))
            status = readResponse(http, resource, reply.response, m_waitMs);
        if (status == HTTP_STATUS_ERROR ||
            (status >= HTTP_STATUS_BAD_REQUEST && status != HTTP_STATUS_UNAUTHORIZED &&
             status != HTTP_STATUS_UPGRADE_REQUIRED))
            break;
        if (!reply.response && httpGetState(http) != HTTP_STATE_WAITING)
            httpFlush(http);
    }
    if (reply.response) {
        reply.status = ippGetStatusCode(reply.response.get());
        ipp_attribute_t* message = ippFindAttribute(reply.response.get(), "status-message", IPP_TAG_TEXT);
        t_lastReplyText = message && ippGetString(message, 0, nullptr) ? ippGetString(message, 0, nullptr)
                                                                       : ippErrorString(reply.status);
    } else {
        reply.status = ippStatusFromHttp(status);
        t_lastReplyText = status == HTTP_STATUS_ERROR && httpError(http) ? std::strerror(httpError(http))
                                                                         : httpStatus(status);
    }
    reply.error = errorFromIpp(reply.status, reply.response != nullptr);
    if (!reply.ok())
        qInfo("printers: %s on %s failed: %s", ippOpString(operation), resource, t_lastReplyText.c_str());
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
