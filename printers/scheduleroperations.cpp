// The scheduler as a whole: whether it answers, its sharing setting, and
// cancelling the jobs it holds, of every queue or of one.

#include "printers/cupsspooler.h"
#include "printers/printerapi.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>
#include <algorithm>
#include <cups/adminutil.h>

namespace PrinterAPI {

namespace {

// The scheduler answers a cancel once it has told the queues' filters to
// stop, which takes longer than an ordinary answer.
constexpr int kCancelWaitMs = 2500;
// How long the jobs being printed may take to end after their cancel.
constexpr int kJobsEndMs = 15000;
constexpr int kJobsPollMs = 100;

// Get-Jobs on this URI reports the jobs of every queue.
const QByteArray kEveryQueueUri = QByteArrayLiteral("ipp://localhost/");
// Cancel-Jobs on this URI cancels the jobs of every queue at once, as
// `cancel -a` asks for it.
const QByteArray kEveryPrinterUri = QByteArrayLiteral("ipp://localhost/printers/");

std::optional<std::vector<PrintJobRecord>> unfinishedJobs(const QByteArray& uri, win32::ErrorCode* error = nullptr)
{
    cups::SpoolerConnection connection;
    win32::ErrorCode ignored = win32::kSuccess;
    return cups::readJobs(connection, uri, error ? *error : ignored);
}

cups::IppPtr cancelRequest(ipp_op_t operation, const QByteArray& uri)
{
    cups::IppPtr request = cups::newRequest(operation);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    // Everyone's jobs, not only those of the requesting user; cancelled and
    // kept in the job history rather than purged with their files.
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "my-jobs", 0);
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "purge-jobs", 0);
    return request;
}

// 0, or the error that kept the jobs of the destination from being cancelled.
win32::ErrorCode sendCancelJobs(const QByteArray& uri)
{
    cups::SpoolerConnection connection(kCancelWaitMs);
    if (!connection.isOpen())
        return win32::kRpcServerUnavailable;
    cups::Reply reply = connection.send(cancelRequest(IPP_OP_CANCEL_JOBS, uri), "/admin/");
    // Schedulers older than CUPS 1.5 know only CUPS-Purge-Jobs.
    if (reply.status == IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED)
        reply = connection.send(cancelRequest(IPP_OP_PURGE_JOBS, uri), "/admin/");
    return reply.error;
}

// Counts the destination's unfinished jobs, cancels them with one request and
// waits until none is left: a job being printed ends only when its filters
// have stopped.
CancelAllJobsResult cancelJobsAt(const QByteArray& cancelUri, const QByteArray& listUri)
{
    CancelAllJobsResult result;
    win32::ErrorCode error = win32::kSuccess;
    const auto before = unfinishedJobs(listUri, &error);
    if (!before) {
        result.error = error;
        return result;
    }
    if (before->empty())
        return result;
    result.cancelledJobs = int(before->size());
    result.error = sendCancelJobs(cancelUri);
    if (result.error != win32::kSuccess) {
        qInfo("printers: cancelling the jobs at %s failed (error %u)", cancelUri.constData(), result.error);
        result.cancelledJobs = 0;
        result.jobsLeft = int(before->size());
        return result;
    }
    const QDeadlineTimer deadline(kJobsEndMs);
    for (;;) {
        const auto left = unfinishedJobs(listUri);
        if (left && left->empty())
            break;
        if (deadline.hasExpired()) {
            qInfo("printers: jobs at %s are still unfinished after their cancel", listUri.constData());
            result.jobsLeft = left ? int(left->size()) : result.cancelledJobs;
            result.cancelledJobs -= std::min(result.cancelledJobs, result.jobsLeft);
            result.error = left ? win32::kGenFailure : win32::kRpcServerUnavailable;
            break;
        }
        QThread::msleep(kJobsPollMs);
    }
    return result;
}

}  // namespace

bool schedulerAnswers()
{
    cups::SpoolerConnection connection;
    if (!connection.isOpen())
        return false;
    // Asking for one job of any queue gets a plain answer from every working
    // scheduler, with or without queues; a refusal is an answer too.
    cups::IppPtr request = cups::newRequest(IPP_OP_GET_JOBS);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kEveryQueueUri.constData());
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", 1);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
    return connection.send(std::move(request)).response != nullptr;
}

std::optional<bool> schedulerSharesPrinters()
{
    cups::SpoolerConnection connection;
    if (!connection.isOpen())
        return std::nullopt;
    int count = 0;
    cups_option_t* settings = nullptr;
    if (!cupsAdminGetServerSettings(connection.httpForCall(), &count, &settings)) {
        qInfo("printers: cannot read the scheduler's settings: %s", cupsLastErrorString());
        return std::nullopt;
    }
    const char* value = cupsGetOption(CUPS_SERVER_SHARE_PRINTERS, count, settings);
    const bool shares = value && qstrcmp(value, "1") == 0;
    cupsFreeOptions(count, settings);
    return shares;
}

win32::ErrorCode enableSchedulerSharing()
{
    cups::SpoolerConnection connection;
    if (!connection.isOpen())
        return win32::kRpcServerUnavailable;
    cups_option_t* settings = nullptr;
    const int count = cupsAddOption(CUPS_SERVER_SHARE_PRINTERS, "1", 0, &settings);
    const int done = cupsAdminSetServerSettings(connection.httpForCall(), count, settings);
    cupsFreeOptions(count, settings);
    if (done)
        return win32::kSuccess;
    qInfo("printers: turning on the scheduler's sharing failed: %s", cupsLastErrorString());
    const win32::ErrorCode error = cups::errorFromIpp(cupsLastError(), true);
    return error != win32::kSuccess ? error : win32::kGenFailure;
}

CancelAllJobsResult cancelAllJobs()
{
    return cancelJobsAt(kEveryPrinterUri, kEveryQueueUri);
}

CancelAllJobsResult cancelPrinterJobs(const QString& printerName)
{
    CancelAllJobsResult result;
    if (!cups::isValidPrinterName(printerName)) {
        result.error = win32::kInvalidPrinterName;
        return result;
    }
    std::optional<cups::QueueAttributes> queue;
    {
        cups::SpoolerConnection connection;
        queue = cups::readQueue(connection, printerName, result.error);
    }
    if (!queue)
        return result;
    const QByteArray uri = cups::destinationUri(queue->name, queue->isClass());
    return cancelJobsAt(uri, uri);
}

}  // namespace PrinterAPI
