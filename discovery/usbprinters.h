#pragma once
// The USB phase of a printer search. The first way (reported through usb1)
// asks for three device populations in turn and describes each hit as a
// USBPrinterInfo; the second (usb2) hands over a device tree with one node per
// present USB vendor/product pair.
//
// The populations on Linux:
//  - printers: USB devices with a printer interface bound to usblp, or driven
//    by a CUPS queue whose device URI names them;
//  - printing software devices: IPP-over-USB printers (an interface of class 7
//    protocol 4, the one ipp-usb serves);
//  - all devices, of which the third pass keeps the USB devices no driver
//    serves.

#include "devicetree/hwdb.h"
#include "discovery/usbprinterinfo.h"

#include <QString>
#include <QStringList>
#include <vector>

class DeviceItem;
class PrinterSearcher;

enum class UsbPopulation { Printers, PrintingSoftwareDevices, AllDevices };

// What the system says about one device of a population, before the lists
// are put in the order the records carry them.
struct UsbDeviceProperties {
    QString deviceClass;
    QString classGuid;
    QStringList compatibleIds;
    QStringList hardwareIds;
    QString deviceDesc;
    QString mfg;
    QString friendlyName;
};

std::vector<UsbDeviceProperties> readDeviceProperties(
    UsbPopulation population,
    const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());

// One record per device of the population, in enumeration order.
std::vector<USBPrinterInfo> queryDevices(
    UsbPopulation population, const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());

// The usb1 passes; false when all ran, true when the search was interrupted.
bool searchUsbByClass(PrinterSearcher& searcher);
// The usb2 walk; always true.
bool searchUsbByTree(PrinterSearcher& searcher);
// Pre-order from node (its children, then its following siblings): present
// nodes whose id starts with USB\VID_, the first of each vendor/product pair.
void collectUsbNodes(DeviceItem* node, std::vector<DeviceItem*>& out);

// Compatible ids naming a generic printer or a USB printer go first (each
// one in front of the previous), the rest keep their order behind them.
QStringList orderCompatibleIds(const QStringList& ids);
// Ids with a backslash go first in the same way, the others behind.
QStringList orderHardwareIds(const QStringList& ids);
std::int32_t searchMethodFor(UsbPopulation population);
