#include "sysinfo/deviceidentity.h"

#include "devicetree/hwdb.h"

#include <QRegularExpression>

namespace sysinfo {

namespace {

constexpr int kMaxAncestors = 8;
constexpr int kMaxPciDevices = 512;

QString hex4(unsigned value)
{
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

bool isPciAddress(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-fA-F]{4,8}:[0-9a-fA-F]{2}:[0-9a-fA-F]{2}\\.[0-7]$"));
    return pattern.match(name).hasMatch();
}

QString folderName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void fillPci(const SourceRoot& root, const QString& dir, const devicetree::HardwareDatabase& hwdb, DeviceIdentity& id)
{
    id.bus = QStringLiteral("PCI");
    id.vendorId = unsigned(parseNumber(root.text(dir + QStringLiteral("/vendor"))) & 0xFFFF);
    id.productId = unsigned(parseNumber(root.text(dir + QStringLiteral("/device"))) & 0xFFFF);
    id.classCode = unsigned(parseNumber(root.text(dir + QStringLiteral("/class"))) & 0xFFFFFF);
    const unsigned subVendor = unsigned(parseNumber(root.text(dir + QStringLiteral("/subsystem_vendor"))) & 0xFFFF);
    const unsigned subDevice = unsigned(parseNumber(root.text(dir + QStringLiteral("/subsystem_device"))) & 0xFFFF);
    const unsigned revision = unsigned(parseNumber(root.text(dir + QStringLiteral("/revision"))) & 0xFF);
    id.vendorName = hwdb.pciVendor(id.vendorId);
    id.modelName = hwdb.pciModel(id.vendorId, id.productId);
    id.pnpDeviceId = QStringLiteral("PCI\\VEN_%1&DEV_%2&SUBSYS_%3%4&REV_%5\\%6")
                         .arg(hex4(id.vendorId), hex4(id.productId), hex4(subDevice), hex4(subVendor),
                             QStringLiteral("%1").arg(revision, 2, 16, QLatin1Char('0')).toUpper(), folderName(dir));
}

void fillUsb(const SourceRoot& root, const QString& dir, const devicetree::HardwareDatabase& hwdb, DeviceIdentity& id)
{
    id.bus = QStringLiteral("USB");
    id.vendorId = unsigned(parseNumber(QStringLiteral("0x") + root.text(dir + QStringLiteral("/idVendor"))) & 0xFFFF);
    id.productId = unsigned(parseNumber(QStringLiteral("0x") + root.text(dir + QStringLiteral("/idProduct"))) & 0xFFFF);
    id.vendorName = hwdb.usbVendor(id.vendorId);
    id.modelName = hwdb.usbModel(id.vendorId, id.productId);
    // The device's own descriptor strings stand in when the database is silent.
    if (id.vendorName.isEmpty())
        id.vendorName = root.text(dir + QStringLiteral("/manufacturer"), 128);
    if (id.modelName.isEmpty())
        id.modelName = root.text(dir + QStringLiteral("/product"), 128);
    QString instance = root.text(dir + QStringLiteral("/serial"), 128);
    instance.remove(QRegularExpression(QStringLiteral("[^0-9A-Za-z_.-]")));
    id.pnpDeviceId = QStringLiteral("USB\\VID_%1&PID_%2\\%3")
                         .arg(hex4(id.vendorId), hex4(id.productId), instance.isEmpty() ? folderName(dir) : instance);
}

} // namespace

QString DeviceIdentity::displayName() const
{
    if (!vendorName.isEmpty() && !modelName.isEmpty())
        return modelName.startsWith(vendorName) ? modelName : vendorName + QLatin1Char(' ') + modelName;
    if (!modelName.isEmpty())
        return modelName;
    if (bus.isEmpty())
        return {};
    if (!vendorName.isEmpty())
        return vendorName + QStringLiteral(" device ") + hex4(productId);
    return bus + QStringLiteral(" device ") + hex4(vendorId) + QLatin1Char(':') + hex4(productId);
}

DeviceIdentity identifyDevice(
    const SourceRoot& root, const QString& devicePath, const devicetree::HardwareDatabase& hwdb)
{
    DeviceIdentity id;
    QString dir = devicePath;
    id.driver = root.linkName(dir + QStringLiteral("/driver"));
    for (int level = 0; level < kMaxAncestors && dir.contains(QLatin1Char('/')); ++level) {
        const QString name = folderName(dir);
        if (isPciAddress(name) && root.exists(dir + QStringLiteral("/vendor"))) {
            fillPci(root, dir, hwdb, id);
            id.devicePath = dir;
            break;
        }
        if (root.exists(dir + QStringLiteral("/idVendor")) && root.exists(dir + QStringLiteral("/idProduct"))) {
            fillUsb(root, dir, hwdb, id);
            id.devicePath = dir;
            break;
        }
        dir = dir.left(dir.lastIndexOf(QLatin1Char('/')));
    }
    if (id.driver.isEmpty() && !id.devicePath.isEmpty())
        id.driver = root.linkName(id.devicePath + QStringLiteral("/driver"));
    return id;
}

QStringList pciDevices(const SourceRoot& root)
{
    const QString base = QStringLiteral("sys/bus/pci/devices");
    const SourceListing listing = root.list(base, kMaxPciDevices);
    SourceRoot::requireReadable(listing.status, listing.error);
    QStringList result;
    for (const QString& name : listing.names) {
        if (!isPciAddress(name))
            continue;
        const QString resolved = root.resolve(base + QLatin1Char('/') + name);
        if (!resolved.isEmpty())
            result.append(resolved);
    }
    return result;
}

} // namespace sysinfo
