#include "discovery/usbprinters.h"

#include "devicetree/deviceconstants.h"
#include "devicetree/devicetree.h"
#include "devicetree/deviceutils.h"
#include "devicetree/ieee1284fields.h"
#include "devicetree/sysfsreader.h"
#include "devicetree/sysfssource.h"
#include "discovery/printersearcher.h"
#include "sysutil/systeminfo.h"

#include <QSet>
#include <memory>

using namespace devicetree;

namespace {

QString hex(int value, int width)
{
    return QStringLiteral("%1").arg(uint(value < 0 ? 0 : value), width, 16, QLatin1Char('0')).toUpper();
}

QStringList classIds(int cls, int subClass, int protocol)
{
    const QString base = QStringLiteral("USB\\Class_") + hex(cls, 2);
    const QString sub = base + QStringLiteral("&SubClass_") + hex(subClass, 2);
    return {sub + QStringLiteral("&Prot_") + hex(protocol, 2), sub, base};
}

// The make-and-model id a printer is known by: spaces become underscores and
// anything that could break an id's shape is dropped.
QString makeModelId(const QString& make, const QString& model)
{
    QString id;
    const QString text = make + model;
    for (const QChar ch : text) {
        const ushort c = ch.unicode();
        if (c == ' ')
            id += QLatin1Char('_');
        else if (c > 0x20 && c < 0x7F && c != '\\' && c != ',' && c != '&')
            id += ch;
        if (id.size() >= 64)
            break;
    }
    return id;
}

// The serial number a record may carry: printable ASCII without blanks at
// the ends, at most 128 characters; empty otherwise.
QString usableSerial(const QString& serial)
{
    if (serial.isEmpty() || serial.size() > 128 || serial.trimmed() != serial)
        return QString();
    for (const QChar c : serial) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            return QString();
    }
    return serial;
}

class PrinterFacts {
public:
    PrinterFacts(const SysfsDeviceSource& source, int device)
    {
        const SysfsNode& node = source.nodes()[std::size_t(device)];
        const Ieee1284Fields fields = parseIeee1284Fields(source.ieee1284Id(device));
        const HardwareDatabase& hwdb = source.hardwareDatabase();
        make = fields.manufacturer;
        if (make.isEmpty())
            make = readAttribute(node.dir, "manufacturer").trimmed().left(256);
        if (make.isEmpty() && node.vendorId >= 0)
            make = hwdb.usbVendor(unsigned(node.vendorId));
        model = fields.model;
        if (model.isEmpty())
            model = readAttribute(node.dir, "product").trimmed().left(256);
        if (model.isEmpty() && node.vendorId >= 0 && node.productId >= 0)
            model = hwdb.usbModel(unsigned(node.vendorId), unsigned(node.productId));
        printerId = makeModelId(make, model);
        if (printerId.isEmpty())
            printerId = QStringLiteral("VID_") + hex(node.vendorId, 4) + QStringLiteral("&PID_") + hex(node.productId, 4);
    }

    UsbDeviceProperties properties(const SysfsDeviceSource& source, int device, int printerInterface) const
    {
        const SysfsNode& node = source.nodes()[std::size_t(device)];
        UsbDeviceProperties p;
        p.hardwareIds = QStringList{QStringLiteral("USBPRINT\\") + printerId, printerId} + node.hardwareIds;
        p.compatibleIds = QStringList{QStringLiteral("USBPRINT\\") + printerId};
        if (printerInterface >= 0) {
            const SysfsNode& iface = source.nodes()[std::size_t(printerInterface)];
            p.compatibleIds += classIds(iface.interfaceClass, iface.interfaceSubClass, iface.interfaceProtocol);
        }
        p.deviceDesc = model;
        p.mfg = make;
        p.friendlyName = node.queues.empty() ? model : source.nodes()[std::size_t(node.queues.front())].queueName;
        for (const int queue : node.queues)
            p.queues << source.nodes()[std::size_t(queue)].queueName;
        p.serial = usableSerial(node.serial);
        return p;
    }

    QString make;
    QString model;
    QString printerId;
};

int ippOverUsbInterface(const SysfsDeviceSource& source, int device)
{
    for (const int index : source.nodes()[std::size_t(device)].interfaces) {
        const SysfsNode& iface = source.nodes()[std::size_t(index)];
        if (iface.interfaceClass == kUsbClassPrinter && iface.interfaceProtocol == kUsbPrinterProtocolIppOverUsb)
            return index;
    }
    return -1;
}

UsbDeviceProperties anyDeviceProperties(const SysfsDeviceSource& source, int index)
{
    const SysfsNode& node = source.nodes()[std::size_t(index)];
    UsbDeviceProperties p;
    p.hardwareIds = node.hardwareIds;
    if (node.kind != SysfsNodeKind::UsbDevice) {
        p.deviceClass = node.subsystem;
        p.deviceDesc = node.sysname;
        return p;
    }
    const bool served = source.hasFunctionDriver(index);
    const int first = node.interfaces.empty() ? -1 : node.interfaces.front();
    if (node.deviceClass > 0 || first < 0) {
        p.compatibleIds = classIds(node.deviceClass, node.deviceSubClass, node.deviceProtocol);
    } else {
        const SysfsNode& iface = source.nodes()[std::size_t(first)];
        p.compatibleIds = classIds(iface.interfaceClass, iface.interfaceSubClass, iface.interfaceProtocol);
    }
    if (node.interfaces.size() > 1)
        p.compatibleIds.append(QStringLiteral("USB\\COMPOSITE"));
    p.deviceDesc = readAttribute(node.dir, "product").trimmed().left(256);
    if (p.deviceDesc.isEmpty() && node.vendorId >= 0 && node.productId >= 0)
        p.deviceDesc = source.hardwareDatabase().usbModel(unsigned(node.vendorId), unsigned(node.productId));
    if (served) {
        // Class, manufacturer and friendly name come with a driver; a device
        // without one has none of them.
        p.deviceClass = QStringLiteral("USB");
        p.classGuid = QString::fromLatin1(kUsbClassGuid);
        p.mfg = source.manufacturer(index);
        p.friendlyName = p.deviceDesc;
    }
    return p;
}

bool containsAny(const QStringList& list, std::initializer_list<const char*> needles)
{
    for (const QString& entry : list) {
        for (const char* needle : needles) {
            if (entry.contains(QLatin1String(needle), Qt::CaseSensitive))
                return true;
        }
    }
    return false;
}

}  // namespace

std::int32_t searchMethodFor(UsbPopulation population)
{
    switch (population) {
    case UsbPopulation::Printers:
        return 0;
    case UsbPopulation::PrintingSoftwareDevices:
        return 1;
    case UsbPopulation::AllDevices:
        break;
    }
    return 3;
}

std::vector<UsbDeviceProperties> readDeviceProperties(UsbPopulation population, const HardwareDatabase& hwdb)
{
    SysfsDeviceSource source(hwdb);
    if (source.open() != 0)
        return {};
    return readDeviceProperties(population, source);
}

std::vector<UsbDeviceProperties> readDeviceProperties(UsbPopulation population, const SysfsDeviceSource& source)
{
    std::vector<UsbDeviceProperties> result;
    const std::vector<SysfsNode>& nodes = source.nodes();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const SysfsNode& node = nodes[i];
        const int index = int(i);
        if (population == UsbPopulation::AllDevices) {
            if (node.kind != SysfsNodeKind::Root && node.kind != SysfsNodeKind::UsbInterface &&
                node.kind != SysfsNodeKind::PrintQueue)
                result.push_back(anyDeviceProperties(source, index));
            continue;
        }
        if (node.kind != SysfsNodeKind::UsbDevice || node.rootHub)
            continue;
        if (population == UsbPopulation::Printers) {
            const int bound = source.printerInterface(index, QStringLiteral("usblp"));
            if (bound < 0 && node.queues.empty())
                continue;
            const int shown = bound >= 0 ? bound : source.printerInterface(index);
            UsbDeviceProperties p = PrinterFacts(source, index).properties(source, index, shown);
            p.deviceClass = QStringLiteral("Printer");
            p.classGuid = QString::fromLatin1(kPrinterClassGuid);
            result.push_back(std::move(p));
        } else {
            // Only a claimed IPP interface makes a printing device of it; one
            // nothing serves is left to the devices without a driver.
            const int ipp = ippOverUsbInterface(source, index);
            if (ipp < 0 || source.nodes()[std::size_t(ipp)].driver.isEmpty())
                continue;
            UsbDeviceProperties p = PrinterFacts(source, index).properties(source, index, ipp);
            p.deviceClass = QStringLiteral("SoftwareDevice");
            p.classGuid = QString::fromLatin1(kSoftwareDeviceClassGuid);
            p.friendlyName = p.deviceDesc;
            result.push_back(std::move(p));
        }
    }
    return result;
}

QStringList orderCompatibleIds(const QStringList& ids)
{
    QStringList ordered;
    for (const QString& id : ids) {
        if (id.contains(QLatin1String("GENERICPRINT")) || id.contains(QLatin1String("USBPRINT")))
            ordered.prepend(id);
        else
            ordered.append(id);
    }
    return ordered;
}

QStringList orderHardwareIds(const QStringList& ids)
{
    QStringList ordered;
    for (const QString& id : ids) {
        if (id.contains(QLatin1Char('\\')))
            ordered.prepend(id);
        else
            ordered.append(id);
    }
    return ordered;
}

namespace {

std::vector<USBPrinterInfo> toRecords(UsbPopulation population, const std::vector<UsbDeviceProperties>& devices)
{
    std::vector<USBPrinterInfo> records;
    records.reserve(devices.size());
    for (const UsbDeviceProperties& device : devices) {
        USBPrinterInfo record;
        record.deviceClass = device.deviceClass;
        record.classGuid = device.classGuid;
        record.compatibleids = orderCompatibleIds(device.compatibleIds);
        record.hardwareids = orderHardwareIds(device.hardwareIds);
        record.deviceDesc = device.deviceDesc;
        record.friendlyName = device.friendlyName;
        record.mfg = device.mfg;
        record.searchMethod = searchMethodFor(population);
        record.queues = device.queues;
        record.serial = device.serial;
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace

std::vector<USBPrinterInfo> queryDevices(UsbPopulation population, const HardwareDatabase& hwdb)
{
    return toRecords(population, readDeviceProperties(population, hwdb));
}

std::vector<USBPrinterInfo> queryDevices(UsbPopulation population, const SysfsDeviceSource& source)
{
    return toRecords(population, readDeviceProperties(population, source));
}

bool searchUsbByClass(PrinterSearcher& searcher, UsbSearchContext* context)
{
    searcher.progress(1, PrinterSearcher::kPhaseUsb, PrinterSearcher::kUsbStarted, 0, 0);
    if (!searcher.running())
        return true;

    // One snapshot for the three passes.
    UsbSearchContext own;
    if (!context)
        context = &own;
    SysfsDeviceSource source(*context->hwdb);
    if (context->queues)
        source.setPrintQueues(*context->queues);
    const bool opened = source.open() == 0;
    if (opened && source.printQueues())
        context->queues = source.printQueues();
    auto query = [&](UsbPopulation population) {
        return opened ? queryDevices(population, source) : std::vector<USBPrinterInfo>{};
    };

    const std::vector<USBPrinterInfo> printers = query(UsbPopulation::Printers);
    QSet<QString> reported;
    for (const USBPrinterInfo& printer : printers) {
        for (const QString& id : printer.hardwareids)
            reported.insert(id.toLower());
    }
    if (!printers.empty())
        searcher.usb1(printers);

    searcher.progress(3, PrinterSearcher::kPhaseUsb, PrinterSearcher::kUsbStepFinished, 0, 0);
    if (!searcher.running())
        return true;

    std::vector<USBPrinterInfo> software;
    for (USBPrinterInfo& record : query(UsbPopulation::PrintingSoftwareDevices)) {
        if (!containsAny(record.compatibleids, {"USBPRINT", "CID_MS_GENERICPRINT"}))
            continue;
        bool seen = false;
        for (const QString& id : qAsConst(record.hardwareids))
            seen = seen || reported.contains(id.toLower());
        if (!seen)
            software.push_back(std::move(record));
    }
    if (!software.empty())
        searcher.usb1(software);

    searcher.progress(3, PrinterSearcher::kPhaseUsb, PrinterSearcher::kUsbStepFinished, 0, 0);
    if (!searcher.running())
        return true;

    std::vector<USBPrinterInfo> driverless;
    for (USBPrinterInfo& record : query(UsbPopulation::AllDevices)) {
        if (!record.deviceClass.isEmpty() || !record.friendlyName.isEmpty() || !record.mfg.isEmpty() ||
            record.hardwareids.isEmpty())
            continue;
        bool usb = false;
        for (const QString& id : qAsConst(record.hardwareids))
            usb = usb || id.startsWith(QLatin1String("USB"), Qt::CaseSensitive);
        if (usb)
            driverless.push_back(std::move(record));
    }
    if (!driverless.empty())
        searcher.usb1(driverless);
    return false;
}

void collectUsbNodes(DeviceItem* node, std::vector<DeviceItem*>& out)
{
    if (!node)
        return;
    static const QString kPrefix = QStringLiteral("usb\\vid_");
    constexpr int kPairLength = 21;  // USB\VID_vvvv&PID_pppp
    const bool presenceKnown = !sysutil::isOlderThanWin8();
    const std::size_t limit = node->tree() ? node->tree()->items().size() + 1 : 1;

    std::vector<DeviceItem*> stack{node};
    std::size_t visited = 0;
    while (!stack.empty() && visited++ < limit) {
        DeviceItem* current = stack.back();
        stack.pop_back();
        if (current->nextSibling())
            stack.push_back(current->nextSibling());
        if (current->firstChild())
            stack.push_back(current->firstChild());

        if (current->instanceId().left(8).toLower() != kPrefix)
            continue;
        if (presenceKnown) {
            const DeviceItem::Slot& present = current->property(kSlotIsPresent);
            if (!present.hasValue || !present.value.flag)
                continue;
        }
        const QString pair = current->instanceId().left(kPairLength);
        bool known = false;
        for (const DeviceItem* collected : out)
            known = known || collected->instanceId().left(kPairLength) == pair;
        if (!known)
            out.push_back(current);
    }
}

bool searchUsbByTree(PrinterSearcher& searcher, UsbSearchContext* context)
{
    searcher.progress(3, PrinterSearcher::kPhaseUsb, PrinterSearcher::kUsbStepFinished, 0, 0);
    // A fresh snapshot of the devices, with the queues the passes already read.
    auto source = std::make_unique<SysfsDeviceSource>(context ? *context->hwdb : HardwareDatabase::system());
    if (context && context->queues)
        source->setPrintQueues(*context->queues);
    auto tree = std::make_unique<DeviceTree>(std::move(source));
    auto items = std::make_unique<std::vector<DeviceItem*>>();
    tree->clear();
    try {
        if (tree->build() == 0)
            collectUsbNodes(tree->root(), *items);
    } catch (const DeviceTreeError&) {
        // A snapshot that does not form one tree reports no devices.
    }
    searcher.usb2(tree.release(), items.release());
    return true;
}
