#pragma once
// One USB printer or printer-like device found by the USB passes of a search,
// as the page receives it through "notifyUsbPrinterByCpp".

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

struct USBPrinterInfo {
    QString deviceClass;
    QString classGuid;
    QStringList compatibleids;
    QStringList hardwareids;
    QString deviceDesc;
    QString friendlyName;
    QString mfg;
    std::int32_t searchMethod = 0;  // 0 printers, 1 printing software devices, 3 devices without a driver
    // The CUPS queues that name the device (its usb:// URI or serial): only
    // these make it installed; a bound kernel driver alone does not.
    QStringList queues;
    // The device's USB serial number when it has a usable one (printable
    // ASCII, at most 128 characters); "addUsbPrinter" names the device by it.
    QString serial;
};

inline bool operator==(const USBPrinterInfo& a, const USBPrinterInfo& b)
{
    return a.deviceClass == b.deviceClass && a.classGuid == b.classGuid && a.compatibleids == b.compatibleids &&
           a.hardwareids == b.hardwareids && a.deviceDesc == b.deviceDesc && a.friendlyName == b.friendlyName &&
           a.mfg == b.mfg && a.searchMethod == b.searchMethod && a.queues == b.queues && a.serial == b.serial;
}

// The record's JSON for the page: compact, keys sorted, empty lists kept;
// "queues" only when a queue names the device, "serial" only when known.
QString usbPrinterJson(const USBPrinterInfo& printer);

Q_DECLARE_METATYPE(USBPrinterInfo)
Q_DECLARE_METATYPE(std::vector<USBPrinterInfo>)
