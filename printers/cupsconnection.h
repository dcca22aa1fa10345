#pragma once
// One connection to the CUPS scheduler and the IPP plumbing around it: owned
// http_t and ipp_t handles, a limit on every wait (two seconds unless the
// thread's SchedulerWaitLimit says otherwise), the password callback, and the
// translation of IPP outcomes into Win32 error codes.
//
// libcups keeps its server name and password callback per thread, so every
// connection installs the callback on the thread that opens it and takes the
// server from CUPS_SERVER (or the default) there, as the variable reads now.

#include "sysutil/win32errors.h"

#include <cups/cups.h>

#include <QByteArray>
#include <QString>
#include <memory>

namespace PrinterAPI::cups {

struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// How long one connect or one wait for the scheduler may take. Without a limit
// libcups waits 61 s on a scheduler that accepts and never answers.
constexpr int kTimeoutMs = 2000;

// kTimeoutMs, or the wait of the SchedulerWaitLimit in force on this thread.
int currentWaitMs();

struct Reply {
    IppPtr response;  // null when no answer came
    ipp_status_t status = IPP_STATUS_ERROR_INTERNAL;
    win32::ErrorCode error = win32::kGenFailure;
    bool ok() const { return error == win32::kSuccess; }
};

class SpoolerConnection {
public:
    // Connects at once; isOpen() tells whether that worked. waitMs bounds the
    // connect and then each wait for an answer.
    SpoolerConnection() : SpoolerConnection(currentWaitMs()) {}
    explicit SpoolerConnection(int waitMs);
    SpoolerConnection(const SpoolerConnection&) = delete;
    SpoolerConnection& operator=(const SpoolerConnection&) = delete;

    bool isOpen() const { return m_http != nullptr; }
    http_t* http() const { return m_http.get(); }
    // The handle for a libcups call that makes requests of its own
    // (cupsPrintFile2, cupsAdmin*), with a fresh count of password prompts.
    http_t* httpForCall();

    // Sends the request (taking it) to the resource and waits for the answer,
    // authenticating and retrying as cupsDoRequest does, but reading the
    // answer in blocks rather than value by value. Anything after the IPP
    // message (a document, a PPD) is dropped.
    Reply send(IppPtr request, const char* resource = "/");

    // The scheduler as CUPS names it: a host or a socket path.
    static QString serverName();
    // Whether the scheduler is on this machine (socket or loopback name).
    static bool serverIsLocal();

private:
    HttpPtr m_http;
    int m_waitMs;
};

// What the scheduler said to the last send() of this thread (its
// status-message, else the status), or why no answer came.
const char* lastReplyText();

// A new request with the operation attributes every request carries.
IppPtr newRequest(ipp_op_t operation);
// ipp://localhost/printers/NAME (or /classes/NAME), with the name escaped.
QByteArray destinationUri(const QString& name, bool isClass = false);
// Adds printer-uri for the destination.
void addDestinationUri(ipp_t* request, const QString& name, bool isClass = false);

// Whether a page-supplied name could be the name of a CUPS queue at all.
bool isValidPrinterName(const QString& name);

// The Win32 code for an IPP outcome (the response's status, or the library's
// last error when no response came).
win32::ErrorCode errorFromIpp(ipp_status_t status, bool answered);

QString attributeText(ipp_attribute_t* attribute, int index = 0);

}  // namespace PrinterAPI::cups
