#include "printers/cupsspooler.h"

#include "printers/win32printer.h"

#include <QDebug>
#include <QUrl>
#include <cmath>

namespace PrinterAPI::cups {

namespace w = win32printer;

namespace {

// Exactly what the records use, and each value once: sharing, colour and
// duplex are bits of printer-type (CUPS sets them from the same settings as
// printer-is-shared, color-supported and sides-supported), and the host of a
// relayed queue is that of its device-uri, which names the remote printer.
// The scheduler writes a response attribute by attribute, so every attribute
// asked for costs time at hundreds of queues; document-format-supported alone
// would be a few hundred mostly unused values per raw queue or class. The
// marker-* values (supplies) exist only for queues whose backend reports them,
// a few each, and printer-is-accepting-jobs is one boolean: by them the change
// monitor notices new supply levels and a queue that refuses new jobs.
const char* const kQueueAttributes[] = {
    "printer-name",          "device-uri",              "printer-make-and-model",
    "printer-info",          "printer-location",        "job-sheets-default",
    "document-format-default", "printer-type",          "printer-state",
    "printer-state-reasons", "queued-job-count",        "pages-per-minute",
    "printer-resolution-supported", "printer-resolution-default", "printer-dns-sd-name",
    "job-priority-default",  "marker-names",            "marker-colors",
    "marker-levels",         "marker-types",            "printer-is-accepting-jobs",
};
// One queue read on its own also tells the members of a class and every
// format the queue takes.
const char* const kSingleQueueAttributes[] = {
    "printer-name",          "device-uri",              "printer-make-and-model",
    "printer-info",          "printer-location",        "job-sheets-default",
    "document-format-default", "printer-type",          "printer-state",
    "printer-state-reasons", "queued-job-count",        "pages-per-minute",
    "printer-resolution-supported", "printer-resolution-default", "printer-dns-sd-name",
    "job-priority-default",  "member-names",            "document-format-supported",
    "marker-names",          "marker-colors",           "marker-levels",
    "marker-types",          "printer-is-accepting-jobs",
};

std::pair<int, int> toDpi(ipp_attribute_t* attribute, int index)
{
    ipp_res_t units = IPP_RES_PER_INCH;
    int y = 0;
    int x = ippGetResolution(attribute, index, &y, &units);
    if (units == IPP_RES_PER_CM) {
        x = int(std::lround(x * 2.54));
        y = int(std::lround(y * 2.54));
    }
    return {x, y};
}

// Supplies: as many values as a queue may show, each of a bounded length.
constexpr int kMaxMarkers = 32;
constexpr int kMaxMarkerText = 255;

QStringList markerTexts(ipp_attribute_t* attribute)
{
    QStringList texts;
    for (int i = 0; i < ippGetCount(attribute) && i < kMaxMarkers; ++i)
        texts << attributeText(attribute, i).left(kMaxMarkerText);
    return texts;
}

void takeAttribute(QueueAttributes& queue, ipp_attribute_t* attribute)
{
    const QByteArray name(ippGetName(attribute));
    const int count = ippGetCount(attribute);
    if (name == "printer-name")
        queue.name = attributeText(attribute);
    else if (name == "printer-uri-supported")
        queue.printerUri = attributeText(attribute);
    else if (name == "device-uri")
        queue.deviceUri = attributeText(attribute);
    else if (name == "printer-make-and-model")
        queue.makeAndModel = attributeText(attribute);
    else if (name == "printer-info")
        queue.info = attributeText(attribute);
    else if (name == "printer-location")
        queue.location = attributeText(attribute);
    else if (name == "job-sheets-default")
        queue.startBanner = attributeText(attribute);
    else if (name == "document-format-default")
        queue.defaultDocumentFormat = attributeText(attribute);
    else if (name == "printer-dns-sd-name")
        queue.dnsSdName = attributeText(attribute);
    else if (name == "printer-type") {
        queue.type = ippGetInteger(attribute, 0);
        queue.shared = !(queue.type & CUPS_PRINTER_NOT_SHARED);
        queue.color = queue.type & CUPS_PRINTER_COLOR;
        queue.twoSided = queue.type & CUPS_PRINTER_DUPLEX;
    }
    else if (name == "printer-state")
        queue.state = ippGetInteger(attribute, 0);
    else if (name == "printer-is-shared")
        queue.shared = ippGetBoolean(attribute, 0);
    else if (name == "printer-is-accepting-jobs")
        queue.accepting = ippGetBoolean(attribute, 0);
    else if (name == "queued-job-count")
        queue.queuedJobs = ippGetInteger(attribute, 0);
    else if (name == "pages-per-minute")
        queue.pagesPerMinute = ippGetInteger(attribute, 0);
    else if (name == "color-supported")
        queue.color = ippGetBoolean(attribute, 0);
    else if (name == "job-priority-default")
        queue.priority = ippGetInteger(attribute, 0);
    else if (name == "document-format-supported") {
        for (int i = 0; i < count; ++i)
            queue.documentFormats << attributeText(attribute, i);
    } else if (name == "member-names") {
        for (int i = 0; i < count; ++i)
            queue.members << attributeText(attribute, i);
    }
    else if (name == "printer-state-reasons") {
        for (int i = 0; i < count; ++i) {
            const QString reason = attributeText(attribute, i);
            if (reason != QLatin1String("none"))
                queue.reasons << reason;
        }
    } else if (name == "marker-names") {
        queue.markers.names = markerTexts(attribute);
    } else if (name == "marker-colors") {
        queue.markers.colors = markerTexts(attribute);
    } else if (name == "marker-types") {
        queue.markers.types = markerTexts(attribute);
    } else if (name == "marker-levels") {
        if (ippGetValueTag(attribute) == IPP_TAG_INTEGER)
            for (int i = 0; i < count && i < kMaxMarkers; ++i)
                queue.markers.levels.push_back(ippGetInteger(attribute, i));
    } else if (name == "sides-supported") {
        for (int i = 0; i < count; ++i)
            if (attributeText(attribute, i).startsWith(QLatin1String("two-sided")))
                queue.twoSided = true;
    } else if (name == "printer-resolution-supported") {
        if (ippGetValueTag(attribute) == IPP_TAG_RESOLUTION)
            for (int i = 0; i < count; ++i)
                queue.resolutions.push_back(toDpi(attribute, i));
    } else if (name == "printer-resolution-default") {
        if (ippGetValueTag(attribute) == IPP_TAG_RESOLUTION)
            queue.defaultResolution = toDpi(attribute, 0);
    }
}

// Walks the printer groups of a response, one QueueAttributes per group.
std::vector<QueueAttributes> parseQueues(ipp_t* response)
{
    std::vector<QueueAttributes> queues;
    ipp_attribute_t* attribute = ippFirstAttribute(response);
    while (attribute) {
        while (attribute && ippGetGroupTag(attribute) != IPP_TAG_PRINTER)
            attribute = ippNextAttribute(response);
        if (!attribute)
            break;
        QueueAttributes queue;
        for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_PRINTER; attribute = ippNextAttribute(response))
            if (ippGetName(attribute))
                takeAttribute(queue, attribute);
        if (!queue.name.isEmpty())
            queues.push_back(std::move(queue));
    }
    return queues;
}

bool uriIsNetwork(const QString& deviceUri)
{
    static const QStringList schemes = {QStringLiteral("ipp"),   QStringLiteral("ipps"), QStringLiteral("http"),
                                        QStringLiteral("https"), QStringLiteral("socket"), QStringLiteral("lpd"),
                                        QStringLiteral("smb"),   QStringLiteral("dnssd")};
    const int colon = deviceUri.indexOf(QLatin1Char(':'));
    return colon > 0 && schemes.contains(deviceUri.left(colon).toLower());
}

}  // namespace

std::uint32_t statusBits(int printerState, const QStringList& reasons)
{
    // Reasons come with a severity suffix (-error, -warning, -report), so
    // they are matched by prefix.
    static const std::pair<const char*, std::uint32_t> kReasonBits[] = {
        {"media-empty", w::kStatusPaperOut},        {"media-needed", w::kStatusPaperOut},
        {"media-jam", w::kStatusPaperJam},          {"media-low", w::kStatusPaperProblem},
        {"input-tray-missing", w::kStatusPaperProblem}, {"offline", w::kStatusOffline},
        {"shutdown", w::kStatusOffline},            {"timed-out", w::kStatusOffline},
        {"toner-low", w::kStatusTonerLow},          {"marker-supply-low", w::kStatusTonerLow},
        {"toner-empty", w::kStatusNoToner},         {"marker-supply-empty", w::kStatusNoToner},
        {"door-open", w::kStatusDoorOpen},          {"cover-open", w::kStatusDoorOpen},
        {"output-area-full", w::kStatusOutputBinFull}, {"connecting-to-device", w::kStatusWaiting},
    };
    std::uint32_t bits = 0;
    if (printerState == IPP_PSTATE_STOPPED)
        bits |= w::kStatusPaused;
    else if (printerState == IPP_PSTATE_PROCESSING)
        bits |= w::kStatusPrinting;
    for (const QString& reason : reasons) {
        bool known = false;
        for (const auto& [prefix, bit] : kReasonBits) {
            if (reason.startsWith(QLatin1String(prefix))) {
                bits |= bit;
                known = true;
                break;
            }
        }
        if (!known && reason.endsWith(QLatin1String("-error")))
            bits |= w::kStatusError;
    }
    return bits;
}

std::uint32_t attributeBits(const QueueAttributes& queue, bool isDefault)
{
    std::uint32_t bits = 0;
    if (queue.shared)
        bits |= w::kAttributeShared;
    if (isDefault)
        bits |= w::kAttributeDefault;
    bits |= (queue.isRemote() || uriIsNetwork(queue.deviceUri)) ? w::kAttributeNetwork : w::kAttributeLocal;
    if (!queue.isClass() && queue.makeAndModel == QLatin1String("Local Raw Printer"))
        bits |= w::kAttributeRawOnly;
    if (!queue.dnsSdName.isEmpty())
        bits |= w::kAttributePublished;
    return bits;
}

std::uint32_t jobStatusBits(int jobState, const QStringList& reasons)
{
    switch (jobState) {
    case IPP_JSTATE_PENDING: return reasons.contains(QLatin1String("job-incoming")) ? w::kJobSpooling : 0;
    case IPP_JSTATE_HELD: return w::kJobPaused;
    case IPP_JSTATE_PROCESSING: return w::kJobPrinting;
    case IPP_JSTATE_STOPPED:
        return reasons.contains(QLatin1String("printer-stopped")) ? w::kJobBlockedDevQ : w::kJobPaused;
    case IPP_JSTATE_CANCELED: return w::kJobDeleted;
    case IPP_JSTATE_ABORTED: return w::kJobError;
    case IPP_JSTATE_COMPLETED: return w::kJobPrinted | w::kJobComplete;
    default: return 0;
    }
}

PrinterInfoRecord toRecord(const QueueAttributes& queue, bool isDefault)
{
    PrinterInfoRecord record;
    record.printerName = queue.name;
    if (queue.isRemote())
        record.serverName = QUrl(queue.printerUri.isEmpty() ? queue.deviceUri : queue.printerUri).host();
    record.attributes = attributeBits(queue, isDefault);
    record.isDefault = isDefault;
    record.isShare = record.attributes & w::kAttributeShared;
    record.isLocal = record.attributes & w::kAttributeLocal;
    record.shareName = queue.shared ? queue.name : QString();
    record.portName = queue.deviceUri;
    record.driverName = queue.makeAndModel;
    record.comment = queue.info;
    record.location = queue.location;
    record.sepFile = queue.startBanner == QLatin1String("none") ? QString() : queue.startBanner;
    record.printProcessor = QStringLiteral("cups");
    // The format a job gets when its sender names none.
    record.dataType = queue.defaultDocumentFormat.isEmpty() ? QStringLiteral("application/octet-stream")
                                                            : queue.defaultDocumentFormat;
    record.priority = std::uint32_t(std::clamp(queue.priority, 0, 100));
    record.status = statusBits(queue.state, queue.reasons);
    record.cjobs = std::uint32_t(std::max(queue.queuedJobs, 0));
    record.averagePPM = std::uint32_t(std::max(queue.pagesPerMinute, 0));
    record.printPagePerMinute = queue.pagesPerMinute;
    record.duplex = queue.twoSided;
    record.color = queue.color;
    for (const auto& [x, y] : queue.resolutions) {
        record.resolutions.push_back(x);
        record.resolutions.push_back(y);
    }
    if (queue.defaultResolution)
        record.printQuality = std::int16_t(std::clamp(queue.defaultResolution->second, -32768, 32767));
    record.markers = queue.markers;
    record.accepting = queue.accepting;
    return record;
}

PrinterChange toChange(const PrinterInfoRecord& record)
{
    PrinterChange change;
    change.printerName = record.printerName;
    change.printerServer = record.serverName;
    change.attributes = record.attributes;
    change.printerStatus = record.status;
    change.cjobs = record.cjobs;
    change.portName = record.portName;
    return change;
}

QueueList readQueues(SpoolerConnection& connection)
{
    IppPtr request = newRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(kQueueAttributes)), nullptr, kQueueAttributes);
    Reply reply = connection.send(std::move(request));
    QueueList list;
    // CUPS answers "not found" when there are no queues at all.
    if (reply.status == IPP_STATUS_ERROR_NOT_FOUND && reply.response)
        return list;
    list.error = reply.error;
    if (reply.ok())
        list.queues = parseQueues(reply.response.get());
    return list;
}

std::optional<QueueAttributes> readQueue(SpoolerConnection& connection, const QString& name, win32::ErrorCode& error,
                                         bool details)
{
    IppPtr request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    addDestinationUri(request.get(), name);
    if (details)
        ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      int(std::size(kSingleQueueAttributes)), nullptr, kSingleQueueAttributes);
    else
        ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      int(std::size(kQueueAttributes)), nullptr, kQueueAttributes);
    Reply reply = connection.send(std::move(request));
    error = reply.error;
    if (!reply.ok())
        return std::nullopt;
    std::vector<QueueAttributes> queues = parseQueues(reply.response.get());
    if (queues.empty()) {
        error = win32::kInvalidPrinterName;
        return std::nullopt;
    }
    return std::move(queues.front());
}

std::optional<std::vector<PrintJobRecord>> readJobs(SpoolerConnection& connection, const QByteArray& uri,
                                                    win32::ErrorCode& error)
{
    static const char* const kJobAttributes[] = {"job-id", "job-name", "job-originating-user-name", "job-state",
                                                 "job-state-reasons"};
    IppPtr request = newRequest(IPP_OP_GET_JOBS);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  int(std::size(kJobAttributes)), nullptr, kJobAttributes);
    Reply reply = connection.send(std::move(request));
    error = reply.error;
    if (!reply.ok())
        return std::nullopt;
    std::vector<PrintJobRecord> jobs;
    ipp_t* response = reply.response.get();
    ipp_attribute_t* attribute = ippFirstAttribute(response);
    while (attribute) {
        while (attribute && ippGetGroupTag(attribute) != IPP_TAG_JOB)
            attribute = ippNextAttribute(response);
        if (!attribute)
            break;
        PrintJobRecord job;
        int state = 0;
        QStringList reasons;
        for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_JOB; attribute = ippNextAttribute(response)) {
            const QByteArray name(ippGetName(attribute) ? ippGetName(attribute) : "");
            if (name == "job-id")
                job.id = ippGetInteger(attribute, 0);
            else if (name == "job-name")
                job.name = attributeText(attribute);
            else if (name == "job-originating-user-name")
                job.user = attributeText(attribute);
            else if (name == "job-state")
                state = ippGetInteger(attribute, 0);
            else if (name == "job-state-reasons")
                for (int i = 0; i < ippGetCount(attribute); ++i)
                    reasons << attributeText(attribute, i);
        }
        job.status = jobStatusBits(state, reasons);
        if (job.id > 0)
            jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<PrinterInfoRecord> toRecords(const std::vector<QueueAttributes>& queues)
{
    const QString userDefault = userDefaultName();
    std::vector<PrinterInfoRecord> records;
    records.reserve(queues.size());
    for (const QueueAttributes& queue : queues)
        records.push_back(toRecord(queue, isDefaultDestination(queue, userDefault)));
    return records;
}

}  // namespace PrinterAPI::cups
