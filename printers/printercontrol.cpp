// Pausing, accepting, jobs, supplies and the description of one queue,
// through the scheduler; refused administrative requests are retried once
// through pkexec with the CUPS command that does the same.

#include "printers/printercontrol.h"

#include "discovery/ippattributes.h"
#include "discovery/ippprobe.h"
#include "printers/cupsspooler.h"
#include "printers/printerapi.h"
#include "printers/printersetup.h"
#include "printers/privilegedretry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>

namespace PrinterAPI {

namespace {

constexpr int kMaxQueueTextBytes = 127;
constexpr std::size_t kMaxJobs = 500;
constexpr std::size_t kMaxSupplies = 32;
constexpr int kMaxReportedText = 255;
constexpr int kMaxSupplyValueBytes = 1023;
// How long a printer asked for its own supplies may take.
constexpr std::chrono::milliseconds kPrinterSupplyLimit { 3000 };

QString bounded(const QString& text)
{
    return text.left(kMaxReportedText);
}

// The queue as the scheduler names it, with whether it is a class.
struct QueueRef {
    QString name;
    bool isClass = false;
    QString deviceUri;
};

std::optional<QueueRef> findQueue(
    cups::SpoolerConnection& connection, const QString& printerName, win32::ErrorCode& error)
{
    if (!cups::isValidPrinterName(printerName)) {
        error = win32::kInvalidPrinterName;
        return std::nullopt;
    }
    if (!connection.isOpen()) {
        error = win32::kRpcServerUnavailable;
        return std::nullopt;
    }
    const std::optional<cups::QueueAttributes> queue = cups::readQueue(connection, printerName, error);
    if (!queue)
        return std::nullopt;
    return QueueRef { queue->name, queue->isClass(), queue->deviceUri };
}

cups::Reply sendForQueue(cups::SpoolerConnection& connection, ipp_op_t operation, const QueueRef& queue,
    const char* resource, const std::function<void(ipp_t*)>& addAttributes = {})
{
    cups::IppPtr request = cups::newRequest(operation);
    cups::addDestinationUri(request.get(), queue.name, queue.isClass);
    if (addAttributes)
        addAttributes(request.get());
    return connection.send(std::move(request), resource);
}

// The named attributes of the queue; nothing, with the error set, when the
// scheduler does not give them.
std::optional<cups::Reply> readAttributes(cups::SpoolerConnection& connection, const QueueRef& queue,
    const std::vector<const char*>& names, win32::ErrorCode& error)
{
    cups::Reply reply
        = sendForQueue(connection, IPP_OP_GET_PRINTER_ATTRIBUTES, queue, "/", [&names](ipp_t* request) {
              ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(names.size()),
                  nullptr, names.data());
          });
    if (!reply.ok()) {
        error = reply.error;
        return std::nullopt;
    }
    return reply;
}

// A queue operation the scheduler may refuse, with its privileged twin.
int queueOperation(const QString& printerName, ipp_op_t operation, const QString& tool)
{
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<QueueRef> queue = findQueue(connection, printerName, error);
    if (!queue)
        return int(error);
    error = sendForQueue(connection, operation, *queue, "/admin/").error;
    // A name starting with '-' would read as an option to the command.
    if (error == win32::kAccessDenied && !queue->name.startsWith(QLatin1Char('-')))
        error = runCupsToolAsAdmin(tool, { queue->name });
    if (error == win32::kSuccess)
        PrinterMonitor::instance().refreshSoon();
    return int(error);
}

QString jobStateKeyword(int state)
{
    switch (state) {
    case IPP_JSTATE_PENDING:
        return QStringLiteral("pending");
    case IPP_JSTATE_HELD:
        return QStringLiteral("held");
    case IPP_JSTATE_PROCESSING:
        return QStringLiteral("processing");
    case IPP_JSTATE_STOPPED:
        return QStringLiteral("stopped");
    case IPP_JSTATE_CANCELED:
        return QStringLiteral("canceled");
    case IPP_JSTATE_ABORTED:
        return QStringLiteral("aborted");
    case IPP_JSTATE_COMPLETED:
        return QStringLiteral("completed");
    default:
        return QStringLiteral("unknown");
    }
}

std::vector<QueueJob> jobsFromResponse(ipp_t* response)
{
    std::vector<QueueJob> jobs;
    ipp_attribute_t* attribute = ippFirstAttribute(response);
    while (attribute && jobs.size() < kMaxJobs) {
        while (attribute && ippGetGroupTag(attribute) != IPP_TAG_JOB)
            attribute = ippNextAttribute(response);
        if (!attribute)
            break;
        QueueJob job;
        int state = 0;
        for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_JOB; attribute = ippNextAttribute(response)) {
            const QByteArray name(ippGetName(attribute) ? ippGetName(attribute) : "");
            const ipp_tag_t tag = ippGetValueTag(attribute);
            const bool integer = tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM;
            if (name == "job-id" && integer)
                job.id = ippGetInteger(attribute, 0);
            else if (name == "job-name")
                job.name = bounded(cups::attributeText(attribute));
            else if (name == "job-originating-user-name")
                job.owner = bounded(cups::attributeText(attribute));
            else if (name == "job-k-octets" && integer)
                job.size = qint64(std::max(0, ippGetInteger(attribute, 0))) * 1024;
            else if (name == "job-state" && integer)
                state = ippGetInteger(attribute, 0);
            else if (name == "job-state-reasons")
                for (int i = 0; i < ippGetCount(attribute) && i < 16; ++i)
                    job.reasons << bounded(cups::attributeText(attribute, i));
            else if (name == "time-at-creation" && integer)
                job.time = std::max(0, ippGetInteger(attribute, 0));
        }
        job.state = jobStateKeyword(state);
        if (job.id > 0)
            jobs.push_back(std::move(job));
    }
    std::sort(jobs.begin(), jobs.end(), [](const QueueJob& a, const QueueJob& b) { return a.id < b.id; });
    return jobs;
}

std::vector<QueueJob> jobsOf(cups::SpoolerConnection& connection, const QueueRef& queue, win32::ErrorCode& error)
{
    static const char* const kAttributes[] = { "job-id", "job-name", "job-originating-user-name", "job-k-octets",
        "job-state", "job-state-reasons", "time-at-creation" };
    const cups::Reply reply = sendForQueue(connection, IPP_OP_GET_JOBS, queue, "/", [](ipp_t* request) {
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(kAttributes)),
            nullptr, kAttributes);
    });
    error = reply.error;
    return reply.ok() ? jobsFromResponse(reply.response.get()) : std::vector<QueueJob> {};
}

std::vector<Supply> suppliesFromResponse(ipp_t* response)
{
    auto texts = [&](const char* name) {
        QStringList values;
        if (ipp_attribute_t* a = ippFindAttribute(response, name, IPP_TAG_ZERO))
            for (int i = 0; i < ippGetCount(a) && i < int(kMaxSupplies); ++i)
                values << cups::attributeText(a, i);
        return values;
    };
    std::vector<int> levels;
    if (ipp_attribute_t* a = ippFindAttribute(response, "marker-levels", IPP_TAG_INTEGER))
        for (int i = 0; i < ippGetCount(a) && i < int(kMaxSupplies); ++i)
            levels.push_back(ippGetInteger(a, i));
    return suppliesFromMarkers(texts("marker-names"), texts("marker-colors"), levels, texts("marker-types"));
}

// A printer's keyword as the marker-types write them: "wasteToner",
// "light_cyan" and "Light Cyan" read "waste-toner" and "light-cyan"; "" when
// it holds anything but letters, digits, '-', '_' and spaces, or is long.
QString keywordOf(const QByteArray& text)
{
    QString out;
    char previous = 0;
    for (const char c : text) {
        const bool lower = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            if ((previous >= 'a' && previous <= 'z') || (previous >= '0' && previous <= '9'))
                out += QLatin1Char('-');
            out += QLatin1Char(char(c - 'A' + 'a'));
        } else if (lower) {
            out += QLatin1Char(c);
        } else if (c == '-' || c == '_' || c == ' ') {
            if (!out.isEmpty() && !out.endsWith(QLatin1Char('-')))
                out += QLatin1Char('-');
        } else {
            return {};
        }
        if (out.size() > 63)
            return {};
        previous = c;
    }
    while (out.endsWith(QLatin1Char('-')))
        out.chop(1);
    return out;
}

// "#RRGGBB" of a colorant name, "" for names without one.
QString colorOfColorant(const QString& colorant)
{
    static const std::pair<const char*, const char*> kColors[] = { { "black", "#000000" },
        { "photo-black", "#000000" }, { "matte-black", "#000000" }, { "cyan", "#00FFFF" },
        { "light-cyan", "#E0FFFF" }, { "magenta", "#FF00FF" }, { "light-magenta", "#FF77FF" },
        { "yellow", "#FFFF00" }, { "dark-yellow", "#FFCC00" }, { "gray", "#808080" }, { "grey", "#808080" },
        { "light-gray", "#D3D3D3" }, { "light-grey", "#D3D3D3" }, { "dark-gray", "#404040" },
        { "dark-grey", "#404040" }, { "light-black", "#606060" }, { "red", "#FF0000" }, { "green", "#00FF00" },
        { "blue", "#0000FF" }, { "orange", "#FFA500" }, { "violet", "#EE82EE" }, { "white", "#FFFFFF" } };
    for (const auto& [name, color] : kColors)
        if (colorant == QLatin1String(name))
            return QString::fromLatin1(color);
    return {};
}

// A whole number of at most ten characters ("-3", "100"), else nothing.
std::optional<long long> wholeNumber(const QByteArray& text)
{
    const int start = text.startsWith('-') ? 1 : 0;
    if (text.size() <= start || text.size() > 10)
        return std::nullopt;
    long long value = 0;
    for (int i = start; i < text.size(); ++i) {
        if (text.at(i) < '0' || text.at(i) > '9')
            return std::nullopt;
        value = value * 10 + (text.at(i) - '0');
    }
    return start ? -value : value;
}

std::vector<Supply> suppliesFromPrinterResponse(ipp_t* response)
{
    if (ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return {};
    std::vector<QByteArray> values;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-supply", IPP_TAG_ZERO)) {
        const bool octets = ippGetValueTag(a) == IPP_TAG_STRING;
        for (int i = 0; i < ippGetCount(a) && i < int(kMaxSupplies); ++i) {
            int length = 0;
            const void* data = octets ? ippGetOctetString(a, i, &length) : nullptr;
            if (octets)
                values.push_back(data && length > 0 ? QByteArray(static_cast<const char*>(data), length) : QByteArray());
            else
                values.push_back(cups::attributeText(a, i).toUtf8());
        }
    }
    QStringList descriptions;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-supply-description", IPP_TAG_ZERO))
        for (int i = 0; i < ippGetCount(a) && i < int(kMaxSupplies); ++i)
            descriptions << cups::attributeText(a, i).left(kMaxReportedText);
    return suppliesFromPrinterSupply(values, descriptions);
}

std::vector<Supply> askPrinterForSuppliesNow(const QString& deviceUri);

// The supplies the printer behind an ipp:// or ipps:// device URI reports;
// none when it does not answer within the limit. The page reads every queue's
// supplies on the thread it runs on, so an answer (or its absence) is kept
// for half a minute: a printer that is off costs the limit once, not with
// every reading.
std::vector<Supply> askPrinterForSupplies(const QString& deviceUri)
{
    struct Kept {
        std::chrono::steady_clock::time_point when;
        std::vector<Supply> supplies;
    };
    static std::mutex mutex;
    static std::map<QString, Kept> kept;
    constexpr auto kKeepFor = std::chrono::seconds(30);
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto found = kept.find(deviceUri);
        if (found != kept.end() && std::chrono::steady_clock::now() - found->second.when < kKeepFor)
            return found->second.supplies;
    }
    std::vector<Supply> supplies = askPrinterForSuppliesNow(deviceUri);
    std::lock_guard<std::mutex> lock(mutex);
    if (kept.size() >= 64)
        kept.clear();
    kept[deviceUri] = Kept { std::chrono::steady_clock::now(), supplies };
    return supplies;
}

std::vector<Supply> askPrinterForSuppliesNow(const QString& deviceUri)
{
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    const QByteArray uri = deviceUri.toUtf8();
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.constData(), scheme, sizeof scheme, user, sizeof user, host,
            sizeof host, &port, resource, sizeof resource)
        < HTTP_URI_STATUS_OK)
        return {};
    discovery::IppTarget target;
    target.address = host;
    target.port = port;
    target.resource = resource[0] == '/' ? resource : "/";
    target.tls = std::string(scheme) == "ipps";
    static const char* const kAttributes[] = { "printer-supply", "printer-supply-description" };
    const discovery::IppAnswer answer
        = discovery::askPrinter(target, kPrinterSupplyLimit, nullptr, kAttributes, int(std::size(kAttributes)));
    return answer.response ? suppliesFromPrinterResponse(answer.response.get()) : std::vector<Supply> {};
}

// An IPP message from bytes; null unless the bytes hold one whole message.
cups::IppPtr ippFromBytes(const unsigned char* data, std::size_t size)
{
    return cups::IppPtr(discovery::readIppMessage(data, size));
}

// A job operation on a job of this queue, with its privileged twin.
int jobOperation(const QString& printerName, const QJsonValue& jobId, ipp_op_t operation,
    const std::function<std::pair<QString, QStringList>(int)>& privileged)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    const std::optional<int> id = jobIdFromPage(jobId);
    if (!id)
        return int(win32::kInvalidParameter);
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<QueueRef> queue = findQueue(connection, printerName, error);
    if (!queue)
        return int(error);
    const std::vector<QueueJob> jobs = jobsOf(connection, *queue, error);
    if (error != win32::kSuccess)
        return int(error);
    if (std::none_of(jobs.begin(), jobs.end(), [&](const QueueJob& job) { return job.id == *id; }))
        return int(win32::kInvalidParameter);
    error = sendForQueue(connection, operation, *queue, "/jobs/", [&](ipp_t* request) {
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", *id);
    }).error;
    if (error == win32::kAccessDenied) {
        const auto [tool, arguments] = privileged(*id);
        error = runCupsToolAsAdmin(tool, arguments);
    }
    if (error == win32::kSuccess)
        PrinterMonitor::instance().refreshSoon();
    return int(error);
}

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

std::optional<int> jobIdFromPage(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 1 || number > 2147483647.0 || std::floor(number) != number)
        return std::nullopt;
    return int(number);
}

bool isValidQueueText(const QString& text)
{
    if (text.toUtf8().size() > kMaxQueueTextBytes)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        const ushort u = c.unicode();
        if (c.isSurrogate() || u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            return false;
    }
    return true;
}

std::vector<Supply> suppliesFromMarkers(
    const QStringList& names, const QStringList& colors, const std::vector<int>& levels, const QStringList& types)
{
    static const QRegularExpression kColor(QStringLiteral("^(#[0-9A-Fa-f]{6})+$"));
    static const QRegularExpression kKeyword(QStringLiteral("^[a-z][a-z0-9-]{0,62}$"));
    std::vector<Supply> supplies;
    const std::size_t count = std::min({ std::size_t(names.size()), levels.size(), kMaxSupplies });
    for (std::size_t i = 0; i < count; ++i) {
        Supply supply;
        supply.name = bounded(names.at(int(i)));
        const QString color = int(i) < colors.size() ? colors.at(int(i)) : QString();
        if (color.size() <= 6 * 7 && kColor.match(color).hasMatch())
            supply.color = color.toUpper();
        const int level = levels[i];
        supply.level = level >= -3 && level <= 100 ? level : -1;
        const QString type = int(i) < types.size() ? types.at(int(i)) : QString();
        if (kKeyword.match(type).hasMatch())
            supply.type = type;
        supplies.push_back(std::move(supply));
    }
    return supplies;
}

std::vector<Supply> suppliesFromPrinterSupply(const std::vector<QByteArray>& values, const QStringList& descriptions)
{
    std::vector<Supply> supplies;
    for (std::size_t i = 0; i < values.size() && i < kMaxSupplies; ++i) {
        const QByteArray& value = values[i];
        if (value.size() > kMaxSupplyValueBytes)
            continue;
        QByteArray type, colorant, unit;
        std::optional<long long> level, capacity;
        for (const QByteArray& pair : value.split(';')) {
            const int equals = pair.indexOf('=');
            if (equals <= 0)
                continue;
            const QByteArray key = pair.left(equals);
            const QByteArray text = pair.mid(equals + 1);
            if (key == "type")
                type = text;
            else if (key == "colorantname")
                colorant = text;
            else if (key == "unit")
                unit = text;
            else if (key == "level")
                level = wholeNumber(text);
            else if (key == "maxcapacity")
                capacity = wholeNumber(text);
        }
        Supply supply;
        supply.type = keywordOf(type);
        const QString colorantName = keywordOf(colorant);
        supply.color = colorOfColorant(colorantName);
        const QString description = int(i) < descriptions.size() ? descriptions.at(int(i)) : QString();
        if (!description.isEmpty())
            supply.name = bounded(description);
        else if (!colorantName.isEmpty() && colorantName != QLatin1String("unknown"))
            supply.name = colorantName;
        else
            supply.name = supply.type;
        if (level && *level >= 0) {
            if (capacity && *capacity > 0)
                supply.level = int(std::clamp(*level * 100 / *capacity, 0LL, 100LL));
            else if (!capacity && unit == "percent")
                supply.level = int(std::min(*level, 100LL));
        } else if (level && *level >= -3) {
            supply.level = int(*level);
        }
        supplies.push_back(std::move(supply));
    }
    return supplies;
}

int pausePrinter(const QString& printerName)
{
    return queueOperation(printerName, IPP_OP_PAUSE_PRINTER, QStringLiteral("cupsdisable"));
}

int resumePrinter(const QString& printerName)
{
    return queueOperation(printerName, IPP_OP_RESUME_PRINTER, QStringLiteral("cupsenable"));
}

int setPrinterAcceptJobs(const QString& printerName, bool accept)
{
    return accept ? queueOperation(printerName, IPP_OP_CUPS_ACCEPT_JOBS, QStringLiteral("cupsaccept"))
                  : queueOperation(printerName, IPP_OP_CUPS_REJECT_JOBS, QStringLiteral("cupsreject"));
}

QueueJobs readQueueJobs(const QString& printerName)
{
    QueueJobs result;
    cups::SpoolerConnection connection;
    const std::optional<QueueRef> queue = findQueue(connection, printerName, result.error);
    if (!queue)
        return result;
    const std::optional<cups::Reply> reply
        = readAttributes(connection, *queue, { "printer-is-accepting-jobs", "printer-state" }, result.error);
    if (!reply)
        return result;
    if (ipp_attribute_t* a = ippFindAttribute(reply->response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        result.accepting = ippGetBoolean(a, 0);
    if (ipp_attribute_t* a = ippFindAttribute(reply->response.get(), "printer-state", IPP_TAG_ENUM))
        result.paused = ippGetInteger(a, 0) == IPP_PSTATE_STOPPED;
    result.jobs = jobsOf(connection, *queue, result.error);
    return result;
}

QString getPrinterJobs(const QString& printerName)
{
    const QueueJobs queue = readQueueJobs(printerName);
    if (queue.error != win32::kSuccess)
        return compact({ { QStringLiteral("code"), qint64(queue.error) } });
    QJsonArray jobs;
    for (const QueueJob& job : queue.jobs) {
        jobs.append(QJsonObject { { QStringLiteral("id"), job.id }, { QStringLiteral("name"), job.name },
            { QStringLiteral("owner"), job.owner }, { QStringLiteral("size"), job.size },
            { QStringLiteral("state"), job.state },
            { QStringLiteral("reasons"), QJsonArray::fromStringList(job.reasons) },
            { QStringLiteral("time"), job.time } });
    }
    return compact({ { QStringLiteral("code"), 0 }, { QStringLiteral("accepting"), queue.accepting },
        { QStringLiteral("paused"), queue.paused }, { QStringLiteral("jobs"), jobs } });
}

int cancelPrinterJob(const QString& printerName, const QJsonValue& jobId)
{
    return jobOperation(printerName, jobId, IPP_OP_CANCEL_JOB, [](int id) {
        return std::pair { QStringLiteral("cancel"), QStringList { QString::number(id) } };
    });
}

int releasePrinterJob(const QString& printerName, const QJsonValue& jobId)
{
    return jobOperation(printerName, jobId, IPP_OP_RELEASE_JOB, [](int id) {
        return std::pair { QStringLiteral("lp"),
            QStringList { QStringLiteral("-i"), QString::number(id), QStringLiteral("-H"), QStringLiteral("resume") } };
    });
}

Supplies readSupplies(const QString& printerName)
{
    Supplies result;
    cups::SpoolerConnection connection;
    const std::optional<QueueRef> queue = findQueue(connection, printerName, result.error);
    if (!queue)
        return result;
    const std::optional<cups::Reply> reply = readAttributes(
        connection, *queue, { "marker-names", "marker-colors", "marker-levels", "marker-types" }, result.error);
    if (!reply)
        return result;
    result.supplies = suppliesFromResponse(reply->response.get());
    // The scheduler's ipp backend passes on only marker-* values; a driverless
    // queue's printer usually reports printer-supply alone, so it is asked.
    if (result.supplies.empty() && !ippFindAttribute(reply->response.get(), "marker-names", IPP_TAG_ZERO)
        && !queue->isClass && isValidIppPrinterUri(queue->deviceUri))
        result.supplies = askPrinterForSupplies(queue->deviceUri);
    return result;
}

QString getPrinterSupplies(const QString& printerName)
{
    const Supplies supplies = readSupplies(printerName);
    if (supplies.error != win32::kSuccess)
        return compact({ { QStringLiteral("code"), qint64(supplies.error) } });
    QJsonArray list;
    for (const Supply& supply : supplies.supplies)
        list.append(QJsonObject { { QStringLiteral("name"), supply.name }, { QStringLiteral("color"), supply.color },
            { QStringLiteral("level"), supply.level }, { QStringLiteral("type"), supply.type } });
    return compact({ { QStringLiteral("code"), 0 }, { QStringLiteral("supplies"), list } });
}

int setPrinterDescription(const QString& printerName, const QString& description, const QString& location)
{
    if (!cups::isValidPrinterName(printerName))
        return int(win32::kInvalidPrinterName);
    if (!isValidQueueText(description) || !isValidQueueText(location))
        return int(win32::kInvalidParameter);
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    const std::optional<QueueRef> queue = findQueue(connection, printerName, error);
    if (!queue)
        return int(error);
    const QByteArray info = description.toUtf8();
    const QByteArray where = location.toUtf8();
    error = sendForQueue(connection, queue->isClass ? IPP_OP_CUPS_ADD_MODIFY_CLASS : IPP_OP_CUPS_ADD_MODIFY_PRINTER,
        *queue, "/admin/", [&](ipp_t* request) {
            ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, info.constData());
            ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, where.constData());
        }).error;
    if (error == win32::kAccessDenied)
        error = runCupsToolAsAdmin(QStringLiteral("lpadmin"),
            { QStringLiteral("-p"), queue->name, QStringLiteral("-D"), description, QStringLiteral("-L"), location });
    if (error == win32::kSuccess)
        PrinterMonitor::instance().refreshSoon();
    return int(error);
}

std::optional<std::vector<QueueJob>> jobsFromIppBytes(const unsigned char* data, std::size_t size)
{
    const cups::IppPtr message = data ? ippFromBytes(data, size) : nullptr;
    if (!message)
        return std::nullopt;
    return jobsFromResponse(message.get());
}

std::optional<std::vector<Supply>> suppliesFromIppBytes(const unsigned char* data, std::size_t size)
{
    const cups::IppPtr message = data ? ippFromBytes(data, size) : nullptr;
    if (!message)
        return std::nullopt;
    return suppliesFromResponse(message.get());
}

std::optional<std::vector<Supply>> printerSuppliesFromIppBytes(const unsigned char* data, std::size_t size)
{
    const cups::IppPtr message = data ? ippFromBytes(data, size) : nullptr;
    if (!message)
        return std::nullopt;
    return suppliesFromPrinterResponse(message.get());
}

} // namespace PrinterAPI
