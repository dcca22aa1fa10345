#include "devicetree/sysfssource.h"

#include "devicetree/deviceconstants.h"
#include "devicetree/deviceutils.h"
#include "devicetree/ieee1284fields.h"
#include "devicetree/sysfsreader.h"
#include "devicetree/windowsnames.h"
#include "sysutil/win32errors.h"

#include <QHash>
#include <QSet>
#include <QUuid>

namespace devicetree {

namespace {

// Container ids of USB devices are name-based UUIDs in this namespace, so a
// device keeps its container across snapshots.
const QUuid kContainerNamespace(0x6b1f0c2e, 0x52d4, 0x4e0b, 0x9a, 0x41, 0x3c, 0x7d, 0x15, 0xe2, 0x8f, 0x60);

QString hex(int value, int width)
{
    return QStringLiteral("%1").arg(uint(value < 0 ? 0 : value), width, 16, QLatin1Char('0')).toUpper();
}

QString usbBaseId(const SysfsNode& device)
{
    return QStringLiteral("USB\\VID_") + hex(device.vendorId, 4) + QStringLiteral("&PID_") + hex(device.productId, 4);
}

// A serial number is only used in an instance id when it cannot break the id's
// shape; other devices are named by their port path instead.
bool usableSerial(const QString& serial)
{
    if (serial.isEmpty() || serial.size() > 64)
        return false;
    for (const QChar ch : serial) {
        const ushort c = ch.unicode();
        if (c <= 0x20 || c >= 0x7F || c == '\\' || c == '/' || c == '&' || c == ',')
            return false;
    }
    return true;
}

QString braced(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithBraces).toUpper();
}

QHash<QString, QString> parseUevent(const QString& text)
{
    QHash<QString, QString> values;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1).left(512));
    }
    return values;
}

// The release number a USB uevent carries: PRODUCT=vid/pid/bcd (hex without
// leading zeros), or MODALIAS=usb:vVVVVpPPPPdDDDD...; -1 when neither has one.
int revisionFromUevent(const QHash<QString, QString>& uevent)
{
    bool ok = false;
    const QString product = uevent.value(QStringLiteral("PRODUCT"));
    if (product.count(QLatin1Char('/')) == 2) {
        const QString bcd = product.section(QLatin1Char('/'), 2, 2);
        const uint value = bcd.toUInt(&ok, 16);
        if (ok && !bcd.isEmpty() && bcd.size() <= 4 && value <= 0xFFFF)
            return int(value);
    }
    const QString modalias = uevent.value(QStringLiteral("MODALIAS"));
    if (modalias.startsWith(QLatin1String("usb:v")) && modalias.size() >= 19 && modalias.at(9) == QLatin1Char('p') &&
        modalias.at(14) == QLatin1Char('d')) {
        const QString bcd = modalias.mid(15, 4);
        const uint value = bcd.toUInt(&ok, 16);
        if (ok)
            return int(value);
    }
    return -1;
}

// The two ids of a USB device or interface with and without its release
// number; without a known release only the second.
QStringList usbHardwareIds(const QString& base, int revision, const QString& suffix = QString())
{
    if (revision < 0)
        return QStringList{base + suffix};
    return QStringList{base + QStringLiteral("&REV_") + hex(revision, 4) + suffix, base + suffix};
}

PropertyValue textOrAbsent(const QString& text)
{
    return text.isEmpty() ? PropertyValue::absent() : PropertyValue::ofText(text);
}

}  // namespace

SysfsDeviceSource::SysfsDeviceSource(const HardwareDatabase& hwdb, QString root)
    : m_hwdb(hwdb)
    , m_root(std::move(root))
{
}

void SysfsDeviceSource::close()
{
    m_nodes.clear();
    m_nodes.shrink_to_fit();
}

std::uint32_t SysfsDeviceSource::open()
{
    m_nodes.clear();
    m_usedQueues.reset();
    const QString devices = (m_root.isEmpty() ? sysfsRoot() : m_root) + QStringLiteral("/devices");
    if (!exists(devices + QStringLiteral("/.")))
        return win32::kPathNotFound;

    SysfsNode root;
    root.kind = SysfsNodeKind::Root;
    root.sysname = QStringLiteral("devices");
    addNode(std::move(root));

    walkDevices(devices, 0, [this](const QString& dir, const QString& name, int parent) {
        // Endpoints and wakeup sources are the kernel's bookkeeping for a
        // device, not devices of their own; their children (none) go to the parent.
        if (name.startsWith(QLatin1String("ep_")) || name.startsWith(QLatin1String("wakeup"))) {
            const QString subsystem = readLinkName(dir, "subsystem");
            if (subsystem.isEmpty() || subsystem == QLatin1String("usb_endpoint") || subsystem == QLatin1String("wakeup"))
                return parent;
        }
        SysfsNode node;
        node.dir = dir;
        node.sysname = name;
        node.parent = parent;
        QString subsystemTarget;
        node.subsystem = readLinkName(dir, "subsystem", &subsystemTarget);
        node.busDevice = subsystemTarget.contains(QLatin1String("/bus/"));
        node.driver = readLinkName(dir, "driver");
        const QHash<QString, QString> uevent = parseUevent(readAttribute(dir, "uevent"));
        node.modalias = uevent.value(QStringLiteral("MODALIAS"));
        const QString devtype = uevent.value(QStringLiteral("DEVTYPE"));
        if (node.subsystem == QLatin1String("usb")) {
            if (devtype == QLatin1String("usb_device"))
                node.kind = SysfsNodeKind::UsbDevice;
            else if (devtype == QLatin1String("usb_interface") || (devtype.isEmpty() && name.contains(QLatin1Char(':'))))
                node.kind = SysfsNodeKind::UsbInterface;
            else if (devtype.isEmpty() && exists(dir + QStringLiteral("/idVendor")))
                node.kind = SysfsNodeKind::UsbDevice;
        } else if (node.subsystem == QLatin1String("pci")) {
            node.kind = SysfsNodeKind::Pci;
            node.pciId = uevent.value(QStringLiteral("PCI_ID")).toUpper();
            node.pciSubsys = uevent.value(QStringLiteral("PCI_SUBSYS_ID")).toUpper();
        }
        const int index = int(m_nodes.size());
        node.usbDevice = node.kind == SysfsNodeKind::UsbDevice ? index : m_nodes[std::size_t(parent)].usbDevice;
        if (node.kind == SysfsNodeKind::UsbInterface) {
            const bool underDevice = parent >= 0 && m_nodes[std::size_t(parent)].kind == SysfsNodeKind::UsbDevice;
            if (!underDevice)
                node.kind = SysfsNodeKind::Other;  // an interface must sit on its device
            else
                m_nodes[std::size_t(parent)].interfaces.push_back(index);
        }
        readUsbFacts(node);
        if (node.kind == SysfsNodeKind::UsbDevice && node.revision < 0)
            node.revision = revisionFromUevent(uevent);
        else if (node.kind == SysfsNodeKind::UsbInterface) {
            SysfsNode& device = m_nodes[std::size_t(node.usbDevice)];
            if (device.revision < 0)
                device.revision = revisionFromUevent(uevent);  // the interface's MODALIAS names it too
        }
        addNode(std::move(node));
        return index;
    });

    assignIds();
    attachPrintQueues();
    return 0;
}

void SysfsDeviceSource::addNode(SysfsNode node)
{
    m_nodes.push_back(std::move(node));
}

void SysfsDeviceSource::readUsbFacts(SysfsNode& node) const
{
    if (node.kind == SysfsNodeKind::UsbDevice) {
        node.vendorId = readHexAttribute(node.dir, "idVendor");
        node.productId = readHexAttribute(node.dir, "idProduct");
        node.revision = readHexAttribute(node.dir, "bcdDevice");
        node.deviceClass = readHexAttribute(node.dir, "bDeviceClass");
        node.deviceSubClass = readHexAttribute(node.dir, "bDeviceSubClass");
        node.deviceProtocol = readHexAttribute(node.dir, "bDeviceProtocol");
        node.serial = readAttribute(node.dir, "serial").trimmed().left(256);
        node.rootHub = node.sysname.startsWith(QLatin1String("usb"));
    } else if (node.kind == SysfsNodeKind::UsbInterface) {
        node.interfaceNumber = readHexAttribute(node.dir, "bInterfaceNumber");
        node.interfaceClass = readHexAttribute(node.dir, "bInterfaceClass");
        node.interfaceSubClass = readHexAttribute(node.dir, "bInterfaceSubClass");
        node.interfaceProtocol = readHexAttribute(node.dir, "bInterfaceProtocol");
    }
}

void SysfsDeviceSource::assignIds()
{
    QSet<QString> taken;
    taken.reserve(int(m_nodes.size()));
    const QString devicesPrefix = (m_root.isEmpty() ? sysfsRoot() : m_root) + QStringLiteral("/devices/");

    auto claim = [&](SysfsNode& node, int index, const QString& wanted) {
        QString id = wanted;
        if (taken.contains(id.toLower())) {
            // Two devices with one serial number, or two sysfs folders of one
            // name: fall back to the port path, which is unique.
            const QString head = wanted.section(QLatin1Char('\\'), 0, -2);
            id = head + QLatin1Char('\\') + node.sysname;
            if (taken.contains(id.toLower())) {
                QString path = node.dir.startsWith(devicesPrefix) ? node.dir.mid(devicesPrefix.size()) : node.sysname;
                path.replace(QLatin1Char('/'), QLatin1Char('&'));
                id = head + QLatin1Char('\\') + path;
            }
            if (taken.contains(id.toLower()))
                id += QLatin1Char('&') + QString::number(index);
        }
        taken.insert(id.toLower());
        node.instanceId = id;
    };

    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        SysfsNode& node = m_nodes[i];
        QString wanted;
        switch (node.kind) {
        case SysfsNodeKind::Root:
            wanted = QString::fromUtf16(kRootInstanceId);
            break;
        case SysfsNodeKind::UsbDevice: {
            const QString base = usbBaseId(node);
            wanted = base + QLatin1Char('\\') + (usableSerial(node.serial) ? node.serial : node.sysname);
            node.hardwareIds = usbHardwareIds(base, node.revision);
            break;
        }
        case SysfsNodeKind::UsbInterface: {
            const SysfsNode& device = m_nodes[std::size_t(node.usbDevice)];
            const QString base = usbBaseId(device);
            const QString mi = QStringLiteral("&MI_") + hex(node.interfaceNumber, 2);
            wanted = base + mi + QLatin1Char('\\') + node.sysname;
            node.hardwareIds = usbHardwareIds(base, device.revision, mi);
            break;
        }
        case SysfsNodeKind::Pci: {
            wanted = QStringLiteral("PCI\\") + node.sysname;
            const QString vendor = node.pciId.section(QLatin1Char(':'), 0, 0);
            const QString device = node.pciId.section(QLatin1Char(':'), 1, 1);
            if (!vendor.isEmpty() && !device.isEmpty()) {
                const QString base = QStringLiteral("PCI\\VEN_") + vendor + QStringLiteral("&DEV_") + device;
                const QString subsys = node.pciSubsys.section(QLatin1Char(':'), 1, 1) +
                                       node.pciSubsys.section(QLatin1Char(':'), 0, 0);
                node.hardwareIds = subsys.size() == 8 ? QStringList{base + QStringLiteral("&SUBSYS_") + subsys, base}
                                                      : QStringList{base};
            }
            break;
        }
        case SysfsNodeKind::Other:
        case SysfsNodeKind::PrintQueue:
            wanted = (node.subsystem.isEmpty() ? QStringLiteral("SYSFS") : node.subsystem.toUpper()) +
                     QLatin1Char('\\') + node.sysname;
            if (!node.modalias.isEmpty())
                node.hardwareIds = QStringList{node.modalias};
            break;
        }
        claim(node, int(i), wanted);
        if (node.parent >= 0)
            node.parentInstanceId = m_nodes[std::size_t(node.parent)].instanceId;

        if (node.kind == SysfsNodeKind::UsbDevice && !node.rootHub)
            node.containerId = braced(QUuid::createUuidV5(kContainerNamespace, node.instanceId.toLower()));
        else if (node.usbDevice >= 0 && node.usbDevice != int(i))
            node.containerId = m_nodes[std::size_t(node.usbDevice)].containerId;
        else
            node.containerId = QString::fromLatin1(kComputerContainerId);
    }

    // Print queues are added after the walk; remember which ids they may not take.
    m_takenIds = taken;
}

UsbPrinterIdentity SysfsDeviceSource::identity(int usbDevice) const
{
    UsbPrinterIdentity identity;
    if (usbDevice < 0 || std::size_t(usbDevice) >= m_nodes.size())
        return identity;
    const SysfsNode& node = m_nodes[std::size_t(usbDevice)];
    const Ieee1284Fields fields = parseIeee1284Fields(ieee1284Id(usbDevice));
    identity.make = fields.manufacturer.isEmpty() ? readAttribute(node.dir, "manufacturer") : fields.manufacturer;
    identity.model = fields.model.isEmpty() ? readAttribute(node.dir, "product") : fields.model;
    identity.serial = node.serial;
    return identity;
}

namespace {

QStringList queuesNaming(const SysfsDeviceSource& source, int device, const std::vector<PrintQueueBinding>& queues)
{
    UsbPrinterIdentity identity = source.identity(device);
    QStringList names = queuesNamingDevice(identity, queues);
    if (names.isEmpty()) {
        const Ieee1284Fields fields = parseIeee1284Fields(source.ieee1284Id(device));
        if (!fields.serial.isEmpty() && fields.serial != identity.serial) {
            identity.serial = fields.serial;
            names = queuesNamingDevice(identity, queues);
        }
    }
    return names;
}

}  // namespace

bool queueNamesDevice(const SysfsDeviceSource& source, int usbDevice, const QString& deviceUri)
{
    if (usbDevice < 0 || std::size_t(usbDevice) >= source.nodes().size() ||
        source.nodes()[std::size_t(usbDevice)].kind != SysfsNodeKind::UsbDevice)
        return false;
    return !queuesNaming(source, usbDevice, {PrintQueueBinding{QStringLiteral("q"), deviceUri}}).isEmpty();
}

void SysfsDeviceSource::attachPrintQueues()
{
    m_usedQueues.reset();
    bool anyUsbDevice = false;
    for (const SysfsNode& node : m_nodes)
        anyUsbDevice = anyUsbDevice || (node.kind == SysfsNodeKind::UsbDevice && !node.rootHub);
    // Without a USB device no queue can drive one: the print system is not asked.
    if (!anyUsbDevice)
        return;
    m_usedQueues = m_givenQueues ? *m_givenQueues : currentPrintQueues();
    const std::vector<PrintQueueBinding>& queues = *m_usedQueues;
    if (queues.empty())
        return;
    QSet<QString> attached;
    const std::size_t deviceCount = m_nodes.size();
    for (std::size_t i = 0; i < deviceCount; ++i) {
        if (m_nodes[i].kind != SysfsNodeKind::UsbDevice || m_nodes[i].rootHub)
            continue;
        const int device = int(i);
        const QStringList names = queuesNaming(*this, device, queues);
        const int printer = printerInterface(device);
        const int parent = printer >= 0 ? printer : device;
        for (const QString& rawName : qAsConst(names)) {
            const QString name = rawName.left(256);
            if (attached.contains(name))
                continue;  // a queue drives one device
            attached.insert(name);
            SysfsNode queue;
            queue.kind = SysfsNodeKind::PrintQueue;
            queue.sysname = name;
            queue.queueName = name;
            queue.parent = parent;
            queue.usbDevice = device;
            queue.busDevice = false;
            QString idName = name;
            idName.replace(QLatin1Char('\\'), QLatin1Char('_'));
            QString id = QStringLiteral("SWD\\PRINTENUM\\") + idName;
            if (m_takenIds.contains(id.toLower()))
                id += QLatin1Char('&') + QString::number(m_nodes.size());
            m_takenIds.insert(id.toLower());
            queue.instanceId = id;
            queue.parentInstanceId = m_nodes[std::size_t(parent)].instanceId;
            queue.containerId = m_nodes[i].containerId;
            queue.hardwareIds = QStringList{QStringLiteral("PRINTENUM\\LocalPrintQueue")};
            m_nodes[i].queues.push_back(int(m_nodes.size()));
            m_nodes.push_back(std::move(queue));
        }
    }
}

bool SysfsDeviceSource::hasFunctionDriver(int usbDevice) const
{
    if (usbDevice < 0 || std::size_t(usbDevice) >= m_nodes.size())
        return false;
    const SysfsNode& device = m_nodes[std::size_t(usbDevice)];
    if (!device.queues.empty())
        return true;  // CUPS's own USB backend drives it while it prints
    for (const int index : device.interfaces) {
        if (!m_nodes[std::size_t(index)].driver.isEmpty())
            return true;
    }
    return false;
}

int SysfsDeviceSource::printerInterface(int usbDevice, const QString& driver) const
{
    if (usbDevice < 0 || std::size_t(usbDevice) >= m_nodes.size())
        return -1;
    for (const int index : m_nodes[std::size_t(usbDevice)].interfaces) {
        const SysfsNode& node = m_nodes[std::size_t(index)];
        if (node.interfaceClass == kUsbClassPrinter && (driver.isEmpty() || node.driver == driver))
            return index;
    }
    return -1;
}

QString SysfsDeviceSource::ieee1284Id(int usbDevice) const
{
    // usblp publishes the id on the interface it binds; older kernels put it on
    // the lp character device below it.
    const int printer = printerInterface(usbDevice, QStringLiteral("usblp"));
    if (printer < 0)
        return {};
    const QString id = readAttribute(m_nodes[std::size_t(printer)].dir, "ieee1284_id");
    if (!id.isEmpty())
        return id;
    for (std::size_t i = std::size_t(printer) + 1; i < m_nodes.size(); ++i) {
        const SysfsNode& node = m_nodes[i];
        if (node.parent == printer && node.subsystem == QLatin1String("usbmisc"))
            return readAttribute(node.dir, "ieee1284_id");
    }
    return {};
}

QString SysfsDeviceSource::manufacturer(int usbDevice) const
{
    if (usbDevice < 0 || std::size_t(usbDevice) >= m_nodes.size())
        return {};
    const SysfsNode& device = m_nodes[std::size_t(usbDevice)];
    QString name = device.vendorId >= 0 ? m_hwdb.usbVendor(unsigned(device.vendorId)) : QString();
    if (name.isEmpty())
        name = readAttribute(device.dir, "manufacturer").trimmed().left(256);
    return name;
}

QString SysfsDeviceSource::product(int usbDevice) const
{
    if (usbDevice < 0 || std::size_t(usbDevice) >= m_nodes.size())
        return {};
    const SysfsNode& device = m_nodes[std::size_t(usbDevice)];
    QString name = device.vendorId >= 0 && device.productId >= 0
                       ? m_hwdb.usbModel(unsigned(device.vendorId), unsigned(device.productId))
                       : QString();
    if (name.isEmpty())
        name = readAttribute(device.dir, "product").trimmed().left(256);
    return name;
}

bool SysfsDeviceSource::vanished(const SysfsNode& node) const
{
    return !node.dir.isEmpty() && !exists(node.dir + QStringLiteral("/uevent"));
}

bool SysfsDeviceSource::hasDriver(const SysfsNode& node) const
{
    switch (node.kind) {
    case SysfsNodeKind::Root:
    case SysfsNodeKind::PrintQueue:
        return true;
    case SysfsNodeKind::UsbDevice:
        return hasFunctionDriver(node.usbDevice);
    case SysfsNodeKind::UsbInterface:
        return !node.driver.isEmpty() ||
               (node.interfaceClass == kUsbClassPrinter && !m_nodes[std::size_t(node.usbDevice)].queues.empty());
    default:
        return !node.driver.isEmpty();
    }
}

QString SysfsDeviceSource::nameOf(const SysfsNode& node) const
{
    switch (node.kind) {
    case SysfsNodeKind::Root:
        return computerName();
    case SysfsNodeKind::UsbDevice: {
        const QString name = product(node.usbDevice);
        return name.isEmpty() ? QStringLiteral("USB Device") : name;
    }
    case SysfsNodeKind::UsbInterface: {
        const QString name = readAttribute(node.dir, "interface").trimmed().left(256);
        return name.isEmpty() ? interfaceDescription(node.interfaceClass) : name;
    }
    case SysfsNodeKind::PrintQueue:
        return node.queueName;
    case SysfsNodeKind::Pci: {
        bool vendorOk = false;
        bool deviceOk = false;
        const uint vendor = node.pciId.section(QLatin1Char(':'), 0, 0).toUInt(&vendorOk, 16);
        const uint device = node.pciId.section(QLatin1Char(':'), 1, 1).toUInt(&deviceOk, 16);
        const QString name = vendorOk && deviceOk ? m_hwdb.pciModel(vendor, device) : QString();
        return name.isEmpty() ? node.sysname : name;
    }
    case SysfsNodeKind::Other:
        break;
    }
    return node.sysname;
}

QString SysfsDeviceSource::classOf(const SysfsNode& node) const
{
    switch (node.kind) {
    case SysfsNodeKind::Root:
        return {};
    case SysfsNodeKind::PrintQueue:
        return QStringLiteral("PrintQueue");
    case SysfsNodeKind::UsbDevice:
        return hasFunctionDriver(node.usbDevice) ? QStringLiteral("USB") : QString();
    case SysfsNodeKind::UsbInterface:
        if (!hasDriver(node))
            return {};
        return node.interfaceClass == kUsbClassPrinter ? QStringLiteral("Printer") : classForInterfaceDriver(node.driver);
    case SysfsNodeKind::Pci:
    case SysfsNodeKind::Other:
        break;
    }
    return node.subsystem;
}

QString SysfsDeviceSource::serviceOf(const SysfsNode& node) const
{
    if (node.kind == SysfsNodeKind::Root || node.kind == SysfsNodeKind::PrintQueue || node.driver.isEmpty() ||
        !hasDriver(node))
        return {};
    return serviceForDriver(node.driver);
}

std::uint32_t SysfsDeviceSource::problemOf(const SysfsNode& node) const
{
    // Many bus devices never take a driver (SCSI hosts, CPUs, memory blocks);
    // only a USB function without one is a device waiting for its driver.
    const bool takesDriver = node.kind == SysfsNodeKind::UsbDevice || node.kind == SysfsNodeKind::UsbInterface;
    return takesDriver && !hasDriver(node) ? kProblemFailedInstall : kProblemNone;
}

std::uint32_t SysfsDeviceSource::statusOf(const SysfsNode& node) const
{
    if (node.kind == SysfsNodeKind::Root)
        return kStatusRootEnumerated | kStatusDriverLoaded | kStatusStarted | kStatusNtEnumerator | kStatusNtDriver;
    const std::uint32_t removable =
        node.kind == SysfsNodeKind::UsbDevice && !node.rootHub ? kStatusRemovable : 0;
    if (problemOf(node) != kProblemNone)
        return kStatusHasProblem | kStatusDisableable | kStatusNtEnumerator | removable;
    if (node.driver.isEmpty() && node.kind != SysfsNodeKind::UsbDevice && node.kind != SysfsNodeKind::PrintQueue)
        return kStatusStarted | kStatusNtEnumerator;
    return kStatusDriverLoaded | kStatusStarted | kStatusDisableable | kStatusNtEnumerator | kStatusNtDriver | removable;
}

PropertyValue SysfsDeviceSource::read(std::size_t index, int slot) const
{
    if (index >= m_nodes.size())
        return {};
    const SysfsNode& node = m_nodes[index];
    switch (slot) {
    case kSlotInstanceId:
        return textOrAbsent(node.instanceId);
    case kSlotParent:
        return textOrAbsent(node.parentInstanceId);
    case kSlotHardwareIds:
        return node.hardwareIds.isEmpty() ? PropertyValue::absent() : PropertyValue::ofList(node.hardwareIds);
    case kSlotContainerId:
        return textOrAbsent(node.containerId);
    case kSlotEnumerator:
        return textOrAbsent(node.instanceId.section(QLatin1Char('\\'), 0, 0));
    case kSlotIsPresent:
        return PropertyValue::ofFlag(!vanished(node));
    default:
        break;
    }

    if (vanished(node))
        return {};
    const bool bound = hasDriver(node);
    switch (slot) {
    case kSlotName:
        return textOrAbsent(nameOf(node));
    case kSlotProblemCode:
        return PropertyValue::ofNumber(problemOf(node));
    case kSlotNodeStatus:
        return PropertyValue::ofNumber(statusOf(node));
    case kSlotFriendlyName:
        return node.kind == SysfsNodeKind::PrintQueue ? textOrAbsent(node.queueName) : PropertyValue::absent();
    case kSlotClassName:
        return textOrAbsent(classDescription(classOf(node)));
    case kSlotClass:
        return textOrAbsent(classOf(node));
    case kSlotBusReportedDesc:
        if (node.kind == SysfsNodeKind::UsbDevice)
            return textOrAbsent(readAttribute(node.dir, "product").trimmed().left(256));
        if (node.kind == SysfsNodeKind::UsbInterface)
            return textOrAbsent(readAttribute(node.dir, "interface").trimmed().left(256));
        return {};
    case kSlotManufacturer:
        if (node.kind == SysfsNodeKind::UsbDevice || node.kind == SysfsNodeKind::UsbInterface ||
            node.kind == SysfsNodeKind::PrintQueue)
            return textOrAbsent(manufacturer(node.usbDevice));
        if (node.kind == SysfsNodeKind::Pci) {
            bool ok = false;
            const uint vendor = node.pciId.section(QLatin1Char(':'), 0, 0).toUInt(&ok, 16);
            return ok ? textOrAbsent(m_hwdb.pciVendor(vendor)) : PropertyValue::absent();
        }
        return {};
    case kSlotDriverDesc:
        return bound && node.kind != SysfsNodeKind::Root && (!node.driver.isEmpty() || node.kind != SysfsNodeKind::Other)
                   ? textOrAbsent(nameOf(node))
                   : PropertyValue::absent();
    case kSlotDriverProvider:
        if (node.kind == SysfsNodeKind::PrintQueue)
            return PropertyValue::ofText(QStringLiteral("CUPS"));
        if (!bound || node.kind == SysfsNodeKind::Root || (node.driver.isEmpty() && node.kind == SysfsNodeKind::Other))
            return {};
        return PropertyValue::ofText(node.driver == QLatin1String("usbfs") ? QStringLiteral("libusb")
                                                                          : QStringLiteral("Linux"));
    case kSlotService:
        return textOrAbsent(serviceOf(node));
    case kSlotLocationInfo:
        if (node.kind == SysfsNodeKind::UsbDevice || node.kind == SysfsNodeKind::UsbInterface)
            return PropertyValue::ofText(node.sysname);
        if (node.kind == SysfsNodeKind::Pci) {
            // 0000:00:1f.3 -> bus 0, device 31, function 3
            const QString address = node.sysname.section(QLatin1Char(':'), -2);
            bool busOk = false;
            bool devOk = false;
            bool fnOk = false;
            const uint bus = address.section(QLatin1Char(':'), 0, 0).toUInt(&busOk, 16);
            const uint dev = address.section(QLatin1Char(':'), 1).section(QLatin1Char('.'), 0, 0).toUInt(&devOk, 16);
            const uint fn = address.section(QLatin1Char('.'), 1).toUInt(&fnOk, 16);
            if (busOk && devOk && fnOk)
                return PropertyValue::ofText(QStringLiteral("PCI bus %1, device %2, function %3").arg(bus).arg(dev).arg(fn));
        }
        return {};
    default:
        return {};
    }
}

}  // namespace devicetree
