#pragma once
// Fake machines for the hardware readers: a temporary folder laid out like the
// parts of / that the readers look at, with the kernel's links recreated as
// relative links, and the binary firmware blobs built here byte by byte.

#include "devicetree/hwdb.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

namespace sysinfotest {

class FixtureRoot {
public:
    FixtureRoot();
    QString path() const { return m_dir.path(); }

    void file(const QString& relative, const QByteArray& bytes) const;
    // A file from tests/data/sysinfo.
    void dataFile(const QString& relative, const QString& dataName) const;
    // A link at `relative` pointing at `target` (both relative to the root),
    // written as a relative link the way sysfs writes them.
    void link(const QString& relative, const QString& target) const;
    void folder(const QString& relative) const;

    // A PCI function under sys/devices/pci0000:00, listed in sys/bus/pci.
    // Returns its folder relative to the root.
    QString pciDevice(const QString& address, unsigned vendor, unsigned device, unsigned classCode,
        const QString& driver = QString()) const;
    // A network interface; `parentDevice` empty makes it a software interface.
    void netInterface(const QString& name, int ifindex, unsigned linkType, const QString& mac,
        const QString& parentDevice = QString(), const QString& devtype = QString()) const;
    // A block device in sys/block; `parentDevice` empty makes it a software one.
    QString blockDevice(const QString& name, const QString& sectors, const QString& parentDevice) const;
    // A DRM card of a device and one of its connectors.
    void drmConnector(const QString& card, const QString& connector, const QString& status, const QByteArray& edid,
        const QString& parentDevice) const;

private:
    QTemporaryDir m_dir;
};

// An SMBIOS structure: the formatted area (header filled in) and its strings.
QByteArray smbiosStructure(
    std::uint8_t type, std::uint16_t handle, const QByteArray& fields, const QList<QByteArray>& strings);
QByteArray smbiosBaseBoard(
    const QByteArray& maker, const QByteArray& product, const QByteArray& version, const QByteArray& serial);
// A type 17 memory device. sizeWord as stored (MiB, bit 15 for KiB, 0x7FFF for
// the extended size), speed in MT/s.
QByteArray smbiosMemoryDevice(std::uint16_t sizeWord, std::uint16_t speed, const QByteArray& maker,
    const QByteArray& serial, std::uint32_t extendedSize = 0);
QByteArray smbiosEndOfTable();

// A 128-byte EDID base block with the given PNP id, product code and name.
QByteArray edidBlock(
    const char manufacturer[3], std::uint16_t productCode, const QByteArray& name, bool fixChecksum = true);

// A hardware database that knows exactly the entries it was given.
class FakeHardwareDatabase : public devicetree::HardwareDatabase {
public:
    void add(const QString& modalias, const char* key, const QString& value)
    {
        m_entries.insert(modalias + QLatin1Char('|') + QLatin1String(key), value);
    }
    QString lookup(const QString& modalias, const char* key) const override
    {
        return m_entries.value(modalias + QLatin1Char('|') + QLatin1String(key));
    }

private:
    QHash<QString, QString> m_entries;
};

} // namespace sysinfotest
