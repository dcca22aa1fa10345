#pragma once
// "Add by address": what a host the user typed says about itself as a
// printer, asked over IPP (then IPPS) and SNMP with short time-outs.

#include <QJsonObject>
#include <QString>

namespace discovery {

// Whether the text may be handed to the resolver as a printer's host: 1..253
// characters of letters, digits, "-" and "." (not starting with either), or a
// dotted IPv4 address.
bool isValidPrinterHost(const QString& host);

// "probeNetworkPrinter"(host) -> {"code": n, ...}. The host is resolved to
// one IPv4 address; then Get-Printer-Attributes on ipp://ADDR:631/ipp/print,
// ipp://ADDR:631/ipp, ipps://ADDR:631/ipp/print (1.5 s each; a refused
// connection skips the plain IPP paths left), and SNMP for the 1284 device id
// (0.5 s, two more tries). code 0 when IPP or SNMP answered, with "address",
// "uri" (the IPP URI that answered, else socket://ADDR:9100), "driverless",
// "ipp" (whether IPP answered), "makeAndModel" and "deviceId" (when known);
// 87 a host that is not valid, 123 a name that does not resolve, 3012 nothing
// answered.
QJsonObject probeNetworkPrinter(const QString& host);

}  // namespace discovery
