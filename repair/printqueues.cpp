#include "repair/printqueues.h"

#include "repair/cupsconnection.h"
#include "repair/repairtypes.h"

#include <QDeadlineTimer>
#include <cups/adminutil.h>
#include <QThread>
#include <cstdio>

namespace repair {

namespace {

IppPtr newQueueRequest(ipp_op_t operation, const QByteArray& uri)
{
    IppPtr request(ippNewRequest(operation));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

void requestAttributes(ipp_t* request, std::initializer_list<const char*> names)
{
    std::vector<const char*> list(names);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(list.size()), nullptr,
                  list.data());
}

QStringList keywords(ipp_attribute_t* attribute)
{
    QStringList values;
    for (int i = 0; attribute && i < ippGetCount(attribute) && i < 64; ++i) {
        if (const char* value = ippGetString(attribute, i, nullptr))
            values << QString::fromUtf8(value);
    }
    return values;
}

struct JobEntry {
    int state = 0;
    QStringList reasons;
};

// The unfinished jobs on one destination ("ipp://localhost/" for all of them).
std::optional<std::vector<JobEntry>> unfinishedJobs(const QByteArray& uri)
{
    SchedulerConnection scheduler = connectScheduler();
    if (!scheduler.http)
        return std::nullopt;
    IppPtr request = newQueueRequest(IPP_OP_GET_JOBS, uri);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
    requestAttributes(request.get(), {"job-id", "job-state", "job-state-reasons"});
    IppPtr response = sendRequest(scheduler.http.get(), std::move(request));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return std::nullopt;
    std::vector<JobEntry> jobs;
    JobEntry current;
    bool inJob = false;
    for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a; a = ippNextAttribute(response.get())) {
        const char* name = ippGetName(a);
        if (ippGetGroupTag(a) != IPP_TAG_JOB || !name) {
            if (inJob)
                jobs.push_back(current);
            current = {};
            inJob = false;
            continue;
        }
        inJob = true;
        if (qstrcmp(name, "job-state") == 0)
            current.state = ippGetInteger(a, 0);
        else if (qstrcmp(name, "job-state-reasons") == 0)
            current.reasons = keywords(a);
    }
    if (inJob)
        jobs.push_back(current);
    return jobs;
}

struct QueueRef {
    QString name;
    QByteArray uri;
};

std::optional<std::vector<QueueRef>> allQueues()
{
    std::vector<QueueRef> queues;
    for (const ipp_op_t operation : {IPP_OP_CUPS_GET_PRINTERS, IPP_OP_CUPS_GET_CLASSES}) {
        SchedulerConnection scheduler = connectScheduler();
        if (!scheduler.http)
            return std::nullopt;
        IppPtr request(ippNewRequest(operation));
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        requestAttributes(request.get(), {"printer-name"});
        IppPtr response = sendRequest(scheduler.http.get(), std::move(request));
        // An empty list is answered with "not found".
        if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
            continue;
        if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
            return std::nullopt;
        for (ipp_attribute_t* a = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME); a;
             a = ippFindNextAttribute(response.get(), "printer-name", IPP_TAG_NAME)) {
            const QString name = QString::fromUtf8(ippGetString(a, 0, nullptr));
            if (!isValidQueueName(name) || queues.size() >= 4096)
                continue;
            QByteArray uri = printerUri(name);
            if (operation == IPP_OP_CUPS_GET_CLASSES)
                uri.replace("/printers/", "/classes/");
            queues.push_back({name, uri});
        }
    }
    return queues;
}

}  // namespace

std::uint32_t jobStatusBits(int jobState, const QStringList& reasons)
{
    switch (jobState) {
    case IPP_JSTATE_PENDING: return reasons.contains(QStringLiteral("job-incoming")) ? jobstatus::kSpooling : 0;
    case IPP_JSTATE_HELD: return jobstatus::kPaused;
    case IPP_JSTATE_PROCESSING: return jobstatus::kPrinting;
    case IPP_JSTATE_STOPPED:
        return reasons.contains(QStringLiteral("printer-stopped")) ? jobstatus::kBlocked : jobstatus::kPaused;
    case IPP_JSTATE_CANCELED: return jobstatus::kDeleted;
    case IPP_JSTATE_ABORTED: return jobstatus::kError;
    case IPP_JSTATE_COMPLETED: return jobstatus::kPrinted | jobstatus::kComplete;
    default: return 0;
    }
}

std::optional<bool> queueIsShared(const QString& name)
{
    if (!isValidQueueName(name))
        return std::nullopt;
    SchedulerConnection scheduler = connectScheduler();
    if (!scheduler.http)
        return std::nullopt;
    IppPtr request = newQueueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printerUri(name));
    requestAttributes(request.get(), {"printer-is-shared"});
    IppPtr response = sendRequest(scheduler.http.get(), std::move(request));
    if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return std::nullopt;
    ipp_attribute_t* shared = ippFindAttribute(response.get(), "printer-is-shared", IPP_TAG_BOOLEAN);
    return shared && ippGetBoolean(shared, 0);
}

std::uint32_t queueJobStatus(const QString& name)
{
    if (!isValidQueueName(name))
        return 0;
    const auto jobs = unfinishedJobs(printerUri(name));
    if (!jobs)
        return 0;
    std::uint32_t status = 0;
    for (const JobEntry& job : *jobs) {
        const std::uint32_t bits = jobStatusBits(job.state, job.reasons);
        status |= bits ? bits : jobstatus::kNoStatusStandIn;
    }
    return status;
}

std::optional<int> unfinishedJobCount(const QString& name)
{
    if (!isValidQueueName(name))
        return std::nullopt;
    const auto jobs = unfinishedJobs(printerUri(name));
    return jobs ? std::optional<int>(int(jobs->size())) : std::nullopt;
}

win32::ErrorCode setQueueShared(const QString& name, bool shared)
{
    if (!isValidQueueName(name))
        return win32::kInvalidPrinterName;
    // CUPS-Add-Modify-Printer creates a queue that does not exist yet, so the
    // queue is looked up first.
    if (!queueIsShared(name).has_value()) {
        SchedulerConnection probe = connectScheduler();
        return probe.http ? win32::kInvalidPrinterName : win32::kRpcServerUnavailable;
    }
    SchedulerConnection scheduler = connectScheduler();
    if (!scheduler.http)
        return win32::kRpcServerUnavailable;
    IppPtr request = newQueueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, printerUri(name));
    ippAddBoolean(request.get(), IPP_TAG_PRINTER, "printer-is-shared", shared ? 1 : 0);
    IppPtr response = sendRequest(scheduler.http.get(), std::move(request), "/admin/");
    const win32::ErrorCode error = errorFromIpp(cupsLastError());
    if (error != win32::kSuccess) {
        std::fprintf(stderr, "Setting printer-is-shared on %s failed: %s\n", name.toUtf8().constData(),
                     cupsLastErrorString());
        return error;
    }
    const auto now = queueIsShared(name);
    return now && *now == shared ? win32::kSuccess : win32::kGenFailure;
}

std::optional<bool> serverSharesQueues()
{
    SchedulerConnection scheduler = connectScheduler();
    if (!scheduler.http)
        return std::nullopt;
    int count = 0;
    cups_option_t* settings = nullptr;
    if (!cupsAdminGetServerSettings(scheduler.http.get(), &count, &settings))
        return std::nullopt;
    const char* value = cupsGetOption(CUPS_SERVER_SHARE_PRINTERS, count, settings);
    const bool shares = value && qstrcmp(value, "1") == 0;
    cupsFreeOptions(count, settings);
    return shares;
}

win32::ErrorCode enableServerSharing()
{
    SchedulerConnection scheduler = connectScheduler();
    if (!scheduler.http)
        return win32::kRpcServerUnavailable;
    cups_option_t* settings = nullptr;
    const int count = cupsAddOption(CUPS_SERVER_SHARE_PRINTERS, "1", 0, &settings);
    // The scheduler rewrites its configuration and restarts itself.
    const int ok = cupsAdminSetServerSettings(scheduler.http.get(), count, settings);
    cupsFreeOptions(count, settings);
    if (!ok) {
        std::fprintf(stderr, "Turning on printer sharing failed: %s\n", cupsLastErrorString());
        return errorFromIpp(cupsLastError()) != win32::kSuccess ? errorFromIpp(cupsLastError()) : win32::kGenFailure;
    }
    return win32::kSuccess;
}

std::optional<QStringList> queueNames()
{
    const auto queues = allQueues();
    if (!queues)
        return std::nullopt;
    QStringList names;
    for (const QueueRef& q : *queues)
        names << q.name;
    return names;
}

CancelOutcome cancelAllJobs()
{
    CancelOutcome outcome;
    const auto queues = allQueues();
    if (!queues) {
        outcome.error = win32::kRpcServerUnavailable;
        return outcome;
    }
    outcome.queues = int(queues->size());
    for (const QueueRef& queue : *queues) {
        const auto before = unfinishedJobs(queue.uri);
        if (before && before->empty())
            continue;
        SchedulerConnection scheduler = connectScheduler(5000);
        if (!scheduler.http) {
            outcome.error = win32::kRpcServerUnavailable;
            outcome.failedQueues << queue.name;
            continue;
        }
        IppPtr response = sendRequest(scheduler.http.get(), newQueueRequest(IPP_OP_CANCEL_JOBS, queue.uri), "/admin/");
        if (cupsLastError() == IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED)
            response = sendRequest(scheduler.http.get(), newQueueRequest(IPP_OP_PURGE_JOBS, queue.uri), "/admin/");
        const win32::ErrorCode error = errorFromIpp(cupsLastError());
        if (error != win32::kSuccess) {
            std::fprintf(stderr, "Cancelling the jobs of %s failed: %s\n", queue.name.toUtf8().constData(),
                         cupsLastErrorString());
            if (outcome.error == win32::kSuccess)
                outcome.error = error;
            outcome.failedQueues << queue.name;
            continue;
        }
        if (before)
            outcome.cancelledJobs += int(before->size());
    }
    // A job being printed ends only when its filters have stopped: the step
    // counts as done once nothing unfinished is left anywhere.
    QDeadlineTimer deadline(15000);
    for (;;) {
        const auto left = unfinishedJobs("ipp://localhost/");
        if (left && left->empty())
            break;
        if (deadline.hasExpired()) {
            if (outcome.error == win32::kSuccess)
                outcome.error = left ? win32::kGenFailure : win32::kRpcServerUnavailable;
            break;
        }
        QThread::msleep(100);
    }
    return outcome;
}

}  // namespace repair
