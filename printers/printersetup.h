#pragma once
// Adding a network printer the search found (or the user typed) as a CUPS
// queue: a driverless queue for a printer that speaks IPP (the scheduler
// builds its PPD from the printer's own attributes, as `lpadmin -m
// everywhere` does), else the best installed driver with the printer's raw
// port. A refused request is tried once more through pkexec with lpadmin.

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace PrinterAPI {

// Whether a page-supplied URI is an ipp:// or ipps:// printer URI we hand to
// the scheduler: at most 1024 bytes of printable ASCII without blanks or
// quotes, a host name, IPv4 address or bracketed IPv6 address, an optional
// port 1..65535, and a path starting with "/".
bool isValidIppPrinterUri(const QString& uri);

// Whether a page-supplied URI is socket://HOST or socket://HOST:PORT with
// the same rules for the host and port.
bool isValidSocketPrinterUri(const QString& uri);

// A queue name for a printer: the make and model with every run of
// characters CUPS does not take in a name (blanks, controls, / \ ? ' " #)
// made one "_", at most 127 bytes of UTF-8, "Printer" when nothing is left;
// then "_2", "_3"... until it matches none of the existing names (compared
// as CUPS does, ignoring case).
QString queueNameFor(const QString& makeAndModel, const QStringList& existingNames);

// "addNetworkPrinter"(uri, makeAndModel, deviceId) ->
// {"code": n, "printerName": name}. For an ipp:// or ipps:// URI: a new
// driverless queue, enabled and accepting jobs, described by the make and
// model. For a socket://HOST:9100 URI: a queue with the installed driver
// matchPpd() picks from the scheduler's list (CUPS-Get-PPDs) for the device
// id and make and model. code: 0, 87 for a URI that is not valid, 1797 when
// no installed driver fits (nothing is added), 3012 when the scheduler could
// not reach an IPP printer (its raw queue is removed again; 10 s at most are
// waited for the PPD), 1722 scheduler unreachable,
// 5 refused (also by the privileged retry), 31 other.
// printerName is there when code is 0.
// queueName, when given, is the queue's name instead of one made from the
// make and model: 1801 when CUPS would not take it as a name, 1802 when a
// queue or class of that name (ignoring case) exists; nothing is added then.
QJsonObject addNetworkPrinter(const QString& uri, const QString& makeAndModel, const QString& deviceId,
                              const QString& queueName = QString());

// Whether a URI the scheduler listed is a usb:// device URI we hand back to
// it: usb://MAKE/MODEL with an optional query, at most 1024 bytes of
// printable ASCII without blanks, quotes, backslashes or angle brackets.
bool isValidUsbDeviceUri(const QString& uri);

// A queue for a USB printer the scheduler listed (its usb:// device URI),
// with the installed driver matchPpd() picks for the device id and make and
// model, described by the make and model. {"code": n, "printerName": name}
// with the codes of addNetworkPrinter for a socket:// URI (0, 87, 1797,
// 1722, 5, 31).
QJsonObject addUsbDeviceQueue(const QString& uri, const QString& makeAndModel, const QString& deviceId);

}  // namespace PrinterAPI
