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
//    protocol 4) whose IPP-over-USB interface is served (ipp-usb claims it);
//  - all devices, of which the third pass keeps the USB devices no driver
//    serves.
// The three passes are disjoint: a printer in the first has a driver, one in
// the second has its IPP interface claimed, and the third keeps only devices
// without either. An IPP-over-USB printer nothing serves yet is a device
// without a driver.

#include "devicetree/hwdb.h"
#include "devicetree/printqueues.h"
#include "discovery/usbprinterinfo.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class DeviceItem;
class PrinterSearcher;
namespace devicetree {
class SysfsDeviceSource;
}

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
    QStringList queues;  // the CUPS queues whose device URI names the device
    QString serial;      // the USB serial number when usable (printers only)
};

std::vector<UsbDeviceProperties> readDeviceProperties(
    UsbPopulation population,
    const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());
// The same from a snapshot already taken (an open source).
std::vector<UsbDeviceProperties> readDeviceProperties(UsbPopulation population,
                                                      const devicetree::SysfsDeviceSource& source);

// One record per device of the population, in enumeration order.
std::vector<USBPrinterInfo> queryDevices(
    UsbPopulation population, const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());
std::vector<USBPrinterInfo> queryDevices(UsbPopulation population, const devicetree::SysfsDeviceSource& source);

// What the USB phase of one search shares between its steps: the print
// queues naming USB devices, asked for at most once per search (and not at
// all without a USB device).
struct UsbSearchContext {
    const devicetree::HardwareDatabase* hwdb = &devicetree::HardwareDatabase::system();
    std::optional<std::vector<devicetree::PrintQueueBinding>> queues;
};

// The usb1 passes over one snapshot; false when all ran, true when the search
// was interrupted.
bool searchUsbByClass(PrinterSearcher& searcher, UsbSearchContext* context = nullptr);
// The usb2 walk; always true.
bool searchUsbByTree(PrinterSearcher& searcher, UsbSearchContext* context = nullptr);
// Pre-order from node (its children, then its following siblings): present
// nodes whose id starts with USB\VID_, the first of each vendor/product pair.
void collectUsbNodes(DeviceItem* node, std::vector<DeviceItem*>& out);

// Compatible ids naming a generic printer or a USB printer go first (each
// one in front of the previous), the rest keep their order behind them.
QStringList orderCompatibleIds(const QStringList& ids);
// Ids with a backslash go first in the same way, the others behind.
QStringList orderHardwareIds(const QStringList& ids);
std::int32_t searchMethodFor(UsbPopulation population);
