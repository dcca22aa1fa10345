// The scheduler as a whole: whether it answers, its sharing setting, and
// cancelling every job it holds.

#include "printers/cupsspooler.h"
#include "printers/printerapi.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>
#include <cups/adminutil.h>

namespace PrinterAPI {

namespace {

// The scheduler answers a cancel once it has told the queue's filters to stop,
// which takes longer than an ordinary answer.
constexpr int kCancelWaitMs = 2500;
// How long the jobs being printed may take to end after their cancel.
constexpr int kJobsEndMs = 15000;
constexpr int kJobsPollMs = 100;
// Queue names are the scheduler's; a broken one is not allowed to make the
// loop over them endless.
constexpr std::size_t kMostQueues = 4096;

// Get-Jobs on this URI reports the jobs of every queue.
const QByteArray kEveryQueueUri = QByteArrayLiteral("ipp://localhost/");

std::optional<std::vector<PrintJobRecord>> unfinishedJobs(const QByteArray& uri)
{
    cups::SpoolerConnection connection;
    win32::ErrorCode error = win32::kSuccess;
    return cups::readJobs(connection, uri, error);
}

cups::IppPtr cancelRequest(ipp_op_t operation, const cups::QueueAttributes& queue)
{
    cups::IppPtr request = cups::newRequest(operation);
    cups::addDestinationUri(request.get(), queue.name, queue.isClass());
    return request;
}

// 0, or the error that kept the queue's jobs from being cancelled.
win32::ErrorCode cancelJobsOf(const cups::QueueAttributes& queue)
{
    cups::SpoolerConnection connection(kCancelWaitMs);
    if (!connection.isOpen())
        return win32::kRpcServerUnavailable;
    cups::Reply reply = connection.send(cancelRequest(IPP_OP_CANCEL_JOBS, queue), "/admin/");
    // Older schedulers know only CUPS-Purge-Jobs.
    if (reply.status == IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED)
        reply = connection.send(cancelRequest(IPP_OP_PURGE_JOBS, queue), "/admin/");
    return reply.error;
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
    CancelAllJobsResult result;
    const auto fail = [&](win32::ErrorCode error) {
        if (result.error == win32::kSuccess)
            result.error = error;
    };
    cups::QueueList list;
    {
        cups::SpoolerConnection connection;
        list = cups::readQueues(connection);
    }
    if (list.error != win32::kSuccess) {
        result.error = list.error;
        return result;
    }
    for (const cups::QueueAttributes& queue : list.queues) {
        if (!cups::isValidPrinterName(queue.name))
            continue;
        if (std::size_t(result.queues) >= kMostQueues)
            break;
        ++result.queues;
        const auto before = unfinishedJobs(cups::destinationUri(queue.name, queue.isClass()));
        if (before && before->empty())
            continue;
        const win32::ErrorCode error = cancelJobsOf(queue);
        if (error != win32::kSuccess) {
            qInfo("printers: cancelling the jobs of %s failed (error %u)", qUtf8Printable(queue.name), error);
            fail(error);
            result.failedQueues << queue.name;
            continue;
        }
        if (before)
            result.cancelledJobs += int(before->size());
    }
    const QDeadlineTimer deadline(kJobsEndMs);
    for (;;) {
        const auto left = unfinishedJobs(kEveryQueueUri);
        if (left && left->empty())
            break;
        if (deadline.hasExpired()) {
            qInfo("printers: jobs are still unfinished after cancelling them all");
            fail(left ? win32::kGenFailure : win32::kRpcServerUnavailable);
            break;
        }
        QThread::msleep(kJobsPollMs);
    }
    return result;
}

}  // namespace PrinterAPI
