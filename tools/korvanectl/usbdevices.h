#pragma once
// The devices of the second USB pass that the search page lists, decided as
// the page decides: a device with a name, left out when it runs a driver of
// its own and shows no printer interface, and kept once when the first pass
// already reported it (the same vendor/product pair). Pure functions over the
// objects usbDeviceReport() makes, so they can be checked on any input.

#include "discovery/usbprinterinfo.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace korvanectl {

// One device (its node objects, the device first) as
// {"name", "maker", "vidPid", "hasDriver", "isPrinter", "services", "ids"};
// nothing when the page would not list it.
std::optional<QJsonObject> usbDeviceEntry(const QJsonArray& nodes);

// The key the page files a found USB printer under: "usb:VVVV:PPPP", else
// "usbid:" and an id in lower case.
QString usbRecordKey(const USBPrinterInfo& printer);
// The same for an entry of usbDeviceEntry().
QString usbDeviceKey(const QJsonArray& nodes);

}  // namespace korvanectl
