#pragma once
// Adding a USB printer the search found as a CUPS queue. The device is named
// by what its search record carries (its USB\VID_vvvv&PID_pppp id and serial
// number) and read again from sysfs; the scheduler's own list of devices
// (CUPS-Get-Devices, usb scheme) gives its usb:// device URI. When ipp-usb
// serves the printer over IPP on this machine the queue is driverless, to
// ipp-usb's local endpoint; otherwise it is the installed driver that fits
// the printer's IEEE 1284 id, printing to the usb:// URI.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace discovery {

// One device of the scheduler's list.
struct SchedulerDevice {
    QString uri;           // device-uri
    QString deviceId;      // device-id (IEEE 1284)
    QString makeAndModel;  // device-make-and-model
};

// The devices of a CUPS-Get-Devices answer as received (an IPP message):
// those with a device URI, at most 256, each text cut to 1024 characters.
// Empty when the bytes are no successful answer.
std::vector<SchedulerDevice> parseGetDevicesResponse(const std::uint8_t* data, std::size_t size);

// Which listed device is the printer: the first usb:// device whose URI
// carries one of the serial numbers (serial=...); when the printer has no
// serial number, the one usb:// device (and only if there is exactly one)
// whose device id names the make and model (ignoring case). -1 when none.
int chooseUsbDevice(const std::vector<SchedulerDevice>& devices, const QStringList& serials, const QString& make,
                    const QString& model);

// Whether an IPP printer's device id is the printer's: the same make and
// model (ignoring case), and the same serial number when both say one.
bool sameUsbPrinter(const QString& endpointDeviceId, const QString& make, const QString& model,
                    const QStringList& serials);

// The IPP endpoints ipp-usb may serve on this machine, as ipp://127.0.0.1
// URIs: those KORVANE_IPP_USB_URI names (comma-separated, loopback only, at
// most 16; a value naming none, such as "none", turns the lookup off); else,
// while a process named ipp-usb runs, its usual ports 60000..60009. Empty
// when ipp-usb does not run.
QStringList ippUsbEndpoints();

// "addUsbPrinter"(hardwareId, serial) -> {"code": n, "printerName": name}.
// hardwareId is the record's USB\VID_vvvv&PID_pppp id (more may follow),
// serial its "serial" or "" when it has none. code: 0 added; 87 arguments
// that are not valid; 2 no such device present (without a serial number:
// not exactly one of that id), or the scheduler does not list it; 1797 no
// installed driver fits (nothing is added); 3012 ipp-usb serves it but the
// scheduler could not reach it; 1722 scheduler unreachable; 5 refused (also
// by the privileged retry); 31 other. printerName is there when code is 0.
QJsonObject addUsbPrinter(const QString& hardwareId, const QString& serial);

}  // namespace discovery
