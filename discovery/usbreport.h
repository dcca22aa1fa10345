#pragma once
// What the page is told about USB hits: the JSON of a USBPrinterInfo record
// ("notifyUsbPrinterByCpp"), the device objects of one USB device node and its
// belonging nodes ("notifyUsbPrinterByCpp2"), and "printerList".

#include "devicetree/hwdb.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

class DeviceItem;

// The service names whose devices are never reported as USB devices.
QStringList defaultUsbServiceFilter();

// Name, Manu, Service, Class, Enumerator, Instanceid, ParentInstanceid (empty
// for the reported item itself) and Hardwareid of one node.
QJsonObject usbDeviceObject(DeviceItem& node, bool isReportedItem);

// The objects of every node in item's subtree (item first, then depth first)
// that shares item's container id; nothing when one of them runs a service
// named in the filter (exact, case-sensitive).
std::optional<QJsonArray> usbDeviceReport(DeviceItem* item, const QStringList& serviceFilter);

// The present printer-class devices as an indented JSON array of {"desc",
// "hardid"}; "[]" when there are none.
QString printerList(const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());
