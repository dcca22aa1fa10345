// Disks (/sys/block), video controllers and sound devices (PCI classes, DRM
// and sound cards) and monitors (DRM connectors' EDID).

#include "sysinfo/deviceidentity.h"
#include "sysinfo/edid.h"
#include "sysinfo/systemquery.h"

#include "devicetree/hwdb.h"

#include <QRegularExpression>

namespace sysinfo {

namespace {

constexpr int kMaxBlockDevices = 256;
constexpr int kMaxDrmEntries = 256;
constexpr int kMaxSoundCards = 64;
constexpr int kMaxPathChars = 512;

constexpr unsigned kPciClassDisplay = 0x03;
constexpr unsigned kPciClassMultimedia = 0x04;
constexpr unsigned kPciMultimediaAudio = 0x01;
constexpr unsigned kPciMultimediaHdAudio = 0x03;
constexpr unsigned kPciMultimediaOther = 0x80;

constexpr std::uint64_t kSectorsPerGiBShift = 21; // 512-byte sectors to GiB

const char* const kGenericMonitor = "Generic PnP Monitor";

bool isSkippedBlockDevice(const QString& name)
{
    // Memory-backed and loop devices, optical and floppy drives are not disks.
    for (const char* prefix : { "loop", "ram", "zram", "sr", "fd" }) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

QString diskSerial(const SourceRoot& root, const QString& block)
{
    for (const QString& attribute : { QStringLiteral("/device/serial"), QStringLiteral("/serial") }) {
        const QString serial = root.text(block + attribute, 128);
        if (!serial.isEmpty())
            return serial;
    }
    // SCSI and SATA disks give the unit serial number page: a 4-byte header
    // whose last byte is the length of the text that follows.
    const SourceRead page = root.read(block + QStringLiteral("/device/vpd_pg80"), 260);
    if (page.status == SourceStatus::Ok && page.bytes.size() > 4) {
        const int length = std::min<int>(std::uint8_t(page.bytes.at(3)), page.bytes.size() - 4);
        return cleanText(page.bytes.mid(4, length), 255);
    }
    return {};
}

QStringList natural(QStringList names)
{
    // "card2" before "card10", "sdb" before "sdaa".
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; });
    return names;
}

VideoControllerInfo videoFrom(const DeviceIdentity& id, const QString& fallbackName)
{
    VideoControllerInfo video;
    video.Name = id.displayName();
    if (video.Name.isEmpty())
        video.Name = fallbackName;
    video.PNPDeviceID = id.pnpDeviceId;
    return video;
}

} // namespace

std::vector<DiskDriveInfo> SystemQuery::getDiskDrives() const
{
    std::vector<DiskDriveInfo> disks;
    const SourceListing listing = m_root.list(QStringLiteral("sys/block"), kMaxBlockDevices);
    SourceRoot::requireReadable(listing.status, listing.error);
    for (const QString& name : natural(listing.names)) {
        const QString block = QStringLiteral("sys/block/") + name;
        // Device-mapper, md and other software devices have no hardware beneath.
        if (isSkippedBlockDevice(name) || !m_root.exists(block + QStringLiteral("/device")))
            continue;
        DiskDriveInfo disk;
        const QString model = m_root.text(block + QStringLiteral("/device/model"), 128);
        const QString vendor = m_root.text(block + QStringLiteral("/device/vendor"), 64);
        // SATA disks behind the SCSI layer all report the vendor "ATA"; virtio
        // and others give a bare bus id ("0x1af4") and no model.
        if (!model.isEmpty() && !vendor.isEmpty() && vendor != QLatin1String("ATA") && !model.startsWith(vendor))
            disk.Caption = QString(vendor + QLatin1Char(' ') + model).trimmed();
        else
            disk.Caption = model;
        const QString devicePath = m_root.resolve(block + QStringLiteral("/device"));
        if (disk.Caption.isEmpty()) {
            const DeviceIdentity id = identifyDevice(m_root, devicePath, m_hwdb);
            disk.Caption = id.modelName.isEmpty() ? name : id.displayName();
        }
        disk.PNPDeviceID = devicePath.left(kMaxPathChars);
        disk.SerialNumber = diskSerial(m_root, block);
        disk.Size = parseNumber(m_root.text(block + QStringLiteral("/size"))) >> kSectorsPerGiBShift;
        disks.push_back(disk);
    }
    return disks;
}

std::vector<VideoControllerInfo> SystemQuery::getVideoControllers() const
{
    std::vector<VideoControllerInfo> controllers;
    for (const QString& dir : pciDevices(m_root)) {
        const unsigned classCode = unsigned(parseNumber(m_root.text(dir + QStringLiteral("/class"))));
        if ((classCode >> 16) != kPciClassDisplay)
            continue;
        controllers.push_back(videoFrom(identifyDevice(m_root, dir, m_hwdb), QString()));
    }
    // Display engines on other buses (SoC GPUs, USB adapters) show up only as
    // DRM cards.
    const SourceListing drm = m_root.list(QStringLiteral("sys/class/drm"), kMaxDrmEntries);
    static const QRegularExpression card(QStringLiteral("^card\\d{1,4}$"));
    for (const QString& name : natural(drm.names)) {
        if (!card.match(name).hasMatch())
            continue;
        const QString devicePath = m_root.resolve(QStringLiteral("sys/class/drm/") + name + QStringLiteral("/device"));
        if (devicePath.isEmpty())
            continue;
        const DeviceIdentity id = identifyDevice(m_root, devicePath, m_hwdb);
        if (id.bus == QLatin1String("PCI"))
            continue;
        VideoControllerInfo video = videoFrom(id, id.driver.isEmpty() ? name : id.driver);
        if (video.PNPDeviceID.isEmpty())
            video.PNPDeviceID
                = QStringLiteral("PLATFORM\\") + devicePath.mid(devicePath.lastIndexOf(QLatin1Char('/')) + 1);
        controllers.push_back(video);
    }
    return controllers;
}

std::vector<SoundDeviceInfo> SystemQuery::getSoundDevices() const
{
    std::vector<SoundDeviceInfo> devices;
    for (const QString& dir : pciDevices(m_root)) {
        const unsigned classCode = unsigned(parseNumber(m_root.text(dir + QStringLiteral("/class"))));
        const unsigned subclass = (classCode >> 8) & 0xFF;
        if ((classCode >> 16) != kPciClassMultimedia
            || (subclass != kPciMultimediaAudio && subclass != kPciMultimediaHdAudio
                && subclass != kPciMultimediaOther))
            continue;
        const QString name = identifyDevice(m_root, dir, m_hwdb).displayName();
        devices.push_back({ name, name });
    }
    // USB headsets and other cards off the PCI bus are known as sound cards.
    const SourceListing cards = m_root.list(QStringLiteral("sys/class/sound"), kMaxSoundCards);
    static const QRegularExpression card(QStringLiteral("^card\\d{1,3}$"));
    for (const QString& name : natural(cards.names)) {
        if (!card.match(name).hasMatch())
            continue;
        const QString base = QStringLiteral("sys/class/sound/") + name;
        const QString devicePath = m_root.resolve(base + QStringLiteral("/device"));
        if (devicePath.isEmpty())
            continue;
        const DeviceIdentity id = identifyDevice(m_root, devicePath, m_hwdb);
        if (id.bus == QLatin1String("PCI"))
            continue;
        QString display = id.displayName();
        if (display.isEmpty())
            display = m_root.text(base + QStringLiteral("/id"), 64);
        if (display.isEmpty())
            display = name;
        devices.push_back({ display, display });
    }
    return devices;
}

std::vector<DesktopMonitorInfo> SystemQuery::getDesktopMonitors() const
{
    std::vector<DesktopMonitorInfo> monitors;
    const SourceListing drm = m_root.list(QStringLiteral("sys/class/drm"), kMaxDrmEntries);
    SourceRoot::requireReadable(drm.status, drm.error);
    static const QRegularExpression connector(QStringLiteral("^card\\d{1,4}-(.{1,64})$"));
    for (const QString& name : natural(drm.names)) {
        const QRegularExpressionMatch match = connector.match(name);
        if (!match.hasMatch())
            continue;
        const QString base = QStringLiteral("sys/class/drm/") + name;
        const SourceRead block = m_root.read(base + QStringLiteral("/edid"), edid::kMaxBytes);
        const bool hasEdid = block.status == SourceStatus::Ok && !block.bytes.isEmpty();
        const QString status = m_root.text(base + QStringLiteral("/status"), 32);
        if (status != QLatin1String("connected") && !(status.isEmpty() && hasEdid))
            continue;
        const EdidFacts facts = hasEdid ? parseEdid(block.bytes) : EdidFacts();
        DesktopMonitorInfo monitor;
        monitor.Name = facts.monitorName;
        if (monitor.Name.isEmpty() && !facts.manufacturerId.isEmpty())
            monitor.Name = facts.manufacturerId
                + QStringLiteral(" %1").arg(facts.productCode, 4, 16, QLatin1Char('0')).toUpper();
        if (monitor.Name.isEmpty())
            monitor.Name = QString::fromLatin1(kGenericMonitor);
        monitor.Description = QStringLiteral("Monitor on ") + match.captured(1);
        if (!facts.manufacturerId.isEmpty()) {
            // The hardware database knows PNP ids under its "acpi:" prefix.
            const QString maker
                = m_hwdb.lookup(QStringLiteral("acpi:%1%2:")
                                    .arg(facts.manufacturerId,
                                        QStringLiteral("%1").arg(facts.productCode, 4, 16, QLatin1Char('0')).toUpper()),
                    "ID_VENDOR_FROM_DATABASE");
            monitor.MonitorManufacturer = maker.isEmpty() ? facts.manufacturerId : maker;
        }
        monitors.push_back(monitor);
    }
    return monitors;
}

} // namespace sysinfo
