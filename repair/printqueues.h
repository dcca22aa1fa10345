#pragma once
// What the checks and repairs need from the scheduler's queues: whether a
// queue is shared, the status of the jobs it holds, sharing a queue, and
// cancelling every job.

#include "sysutil/win32errors.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace repair {

// The JOB_STATUS_* bits of one job from its IPP job-state and reasons.
std::uint32_t jobStatusBits(int jobState, const QStringList& reasons);

// printer-is-shared of the queue; nullopt when the queue cannot be read.
std::optional<bool> queueIsShared(const QString& name);

// The OR of the status bits of every job not yet finished on the queue, a job
// without bits counting as jobstatus::kNoStatusStandIn. 0 when the queue is
// empty or cannot be read.
std::uint32_t queueJobStatus(const QString& name);

// Number of unfinished jobs on a queue, nullopt when it cannot be read.
std::optional<int> unfinishedJobCount(const QString& name);

// Sets printer-is-shared; 0 or the Win32 error.
win32::ErrorCode setQueueShared(const QString& name, bool shared);

// Whether the scheduler shares its queues with the network; nullopt when its
// settings cannot be read.
std::optional<bool> serverSharesQueues();
win32::ErrorCode enableServerSharing();

// Every queue's name; nullopt when the scheduler cannot be asked.
std::optional<QStringList> queueNames();

struct CancelOutcome {
    win32::ErrorCode error = win32::kSuccess;
    int queues = 0;
    int cancelledJobs = 0;
    QStringList failedQueues;  // queues whose jobs could not all be cancelled
};
// Cancels every unfinished job on every queue and checks that none is left.
CancelOutcome cancelAllJobs();

}  // namespace repair
