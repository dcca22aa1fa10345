#pragma once
// Who made a device and what it is, from the PCI or USB device a kernel
// object hangs off, with names from the hardware database.

#include "sysinfo/sourceroot.h"

#include <QString>

namespace devicetree {
class HardwareDatabase;
}

namespace sysinfo {

struct DeviceIdentity {
    QString bus; // "PCI", "USB" or empty when neither was found
    unsigned vendorId = 0;
    unsigned productId = 0;
    unsigned classCode = 0; // PCI only: base class, subclass, interface
    QString vendorName; // from the database, else the device's own strings (USB)
    QString modelName;
    QString pnpDeviceId; // "PCI\VEN_8086&DEV_A0E8&SUBSYS_...&REV_..\0000:00:15.0"
    QString driver;
    QString devicePath; // the PCI or USB device folder, relative to the root

    // "Vendor Model", else the best that is known, else empty.
    QString displayName() const;
};

// Walks up from a device folder (relative to the root, links resolved) to the
// first PCI or USB device, at most a few levels.
DeviceIdentity identifyDevice(
    const SourceRoot& root, const QString& devicePath, const devicetree::HardwareDatabase& hwdb);

// The PCI device folders ("sys/bus/pci/devices/0000:00:02.0"), in bus order.
QStringList pciDevices(const SourceRoot& root);

} // namespace sysinfo
