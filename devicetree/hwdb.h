#pragma once
// Vendor and model names from the udev hardware database. The database file is
// read directly through libudev, so it works without udevd running.

#include <QString>
#include <memory>

namespace devicetree {

class HardwareDatabase {
public:
    virtual ~HardwareDatabase() = default;
    // The value of `key` (e.g. "ID_VENDOR_FROM_DATABASE") for a modalias such as
    // "usb:v03F0p1853*" or "pci:v00008086d0000A0E8*"; empty when unknown.
    virtual QString lookup(const QString& modalias, const char* key) const = 0;

    // The machine's database (empty answers when there is none). Thread-safe.
    static const HardwareDatabase& system();
    // A database that knows nothing, for tests that must not depend on the host.
    static const HardwareDatabase& empty();

    // Convenience lookups by numeric ids.
    QString usbVendor(unsigned vendorId) const;
    QString usbModel(unsigned vendorId, unsigned productId) const;
    QString pciVendor(unsigned vendorId) const;
    QString pciModel(unsigned vendorId, unsigned deviceId) const;
};

}  // namespace devicetree
