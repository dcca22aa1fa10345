#pragma once
// A connection to the CUPS scheduler with short time-outs, and owning wrappers
// for libcups handles. Every check here must answer within about two seconds
// even when the scheduler hangs or is gone.

#include "sysutil/win32errors.h"

#include <cups/cups.h>
#include <QString>
#include <memory>

namespace repair {

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// Where the scheduler listens: CUPS_SERVER when set (read afresh each time, as
// libcups caches it per thread), else libcups' default. A leading "/" is a
// local socket.
QString schedulerAddress();

struct SchedulerConnection {
    HttpPtr http;
    // kSuccess, kRpcServerUnavailable when nothing answers, or kFileNotFound
    // when the scheduler's local socket does not exist at all.
    win32::ErrorCode error = win32::kSuccess;
};
SchedulerConnection connectScheduler(int timeoutMs = 1500);

// Sends the request and returns the scheduler's answer (null when none came).
// The IPP status of the answer is in cupsLastError().
IppPtr sendRequest(http_t* http, IppPtr request, const char* resource = "/");

// True for a name CUPS could have given a queue: 1..127 bytes of printable
// characters without blanks, "/", "\\", "?", "#" or quotes.
bool isValidQueueName(const QString& name);

// "ipp://localhost/printers/NAME" for a valid queue name.
QByteArray printerUri(const QString& name);

// The Win32 error for an IPP status (0 for success).
win32::ErrorCode errorFromIpp(ipp_status_t status);

}  // namespace repair
