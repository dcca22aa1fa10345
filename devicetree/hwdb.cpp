#include "devicetree/hwdb.h"

#include <libudev.h>
#include <mutex>

namespace devicetree {

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_hwdb* h) const { udev_hwdb_unref(h); }
};

// libudev's hwdb handle is not safe for concurrent use: lookups are serialised.
class SystemHardwareDatabase : public HardwareDatabase {
public:
    SystemHardwareDatabase()
        : m_udev(udev_new())
    {
        if (m_udev)
            m_hwdb.reset(udev_hwdb_new(m_udev.get()));
    }

    QString lookup(const QString& modalias, const char* key) const override
    {
        if (!m_hwdb || modalias.isEmpty() || !key)
            return {};
        std::lock_guard<std::mutex> guard(m_lock);
        const QByteArray alias = modalias.toLatin1();
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_hwdb_get_properties_list_entry(m_hwdb.get(), alias.constData(), 0))
        {
            if (qstrcmp(udev_list_entry_get_name(entry), key) == 0)
                return QString::fromUtf8(udev_list_entry_get_value(entry)).left(256);
        }
        return {};
    }

private:
    std::unique_ptr<udev, UdevDeleter> m_udev;
    std::unique_ptr<udev_hwdb, UdevDeleter> m_hwdb;
    mutable std::mutex m_lock;
};

class EmptyHardwareDatabase : public HardwareDatabase {
public:
    QString lookup(const QString&, const char*) const override { return {}; }
};

QString hex4(unsigned value)
{
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

const HardwareDatabase& HardwareDatabase::system()
{
    static const SystemHardwareDatabase database;
    return database;
}

const HardwareDatabase& HardwareDatabase::empty()
{
    static const EmptyHardwareDatabase database;
    return database;
}

QString HardwareDatabase::usbVendor(unsigned vendorId) const
{
    return lookup(QStringLiteral("usb:v%1*").arg(hex4(vendorId)), "ID_VENDOR_FROM_DATABASE");
}

QString HardwareDatabase::usbModel(unsigned vendorId, unsigned productId) const
{
    return lookup(QStringLiteral("usb:v%1p%2*").arg(hex4(vendorId), hex4(productId)), "ID_MODEL_FROM_DATABASE");
}

QString HardwareDatabase::pciVendor(unsigned vendorId) const
{
    return lookup(QStringLiteral("pci:v0000%1*").arg(hex4(vendorId)), "ID_VENDOR_FROM_DATABASE");
}

QString HardwareDatabase::pciModel(unsigned vendorId, unsigned deviceId) const
{
    return lookup(QStringLiteral("pci:v0000%1d0000%2*").arg(hex4(vendorId), hex4(deviceId)), "ID_MODEL_FROM_DATABASE");
}

}  // namespace devicetree
