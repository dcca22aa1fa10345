#include "discovery/usbreport.h"

#include "devicetree/devicetree.h"
#include "discovery/usbprinterinfo.h"
#include "discovery/usbprinters.h"
#include "webui/pagejson.h"

#include <QJsonDocument>
#include <vector>

using namespace devicetree;

namespace {

QJsonArray toArray(const QStringList& list)
{
    QJsonArray array;
    for (const QString& entry : list)
        array.append(entry);
    return array;
}

}  // namespace

QString usbPrinterJson(const USBPrinterInfo& printer)
{
    QJsonObject object;
    object.insert(QStringLiteral("compatibleids"), toArray(printer.compatibleids));
    object.insert(QStringLiteral("deviceDesc"), printer.deviceDesc);
    object.insert(QStringLiteral("friendlyName"), printer.friendlyName);
    object.insert(QStringLiteral("hardwareids"), toArray(printer.hardwareids));
    object.insert(QStringLiteral("mfg"), printer.mfg);
    object.insert(QStringLiteral("searchMethod"), printer.searchMethod);
    if (!printer.queues.isEmpty())
        object.insert(QStringLiteral("queues"), toArray(printer.queues));
    if (!printer.serial.isEmpty())
        object.insert(QStringLiteral("serial"), printer.serial);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QStringList defaultUsbServiceFilter()
{
    return {QStringLiteral("USBHUB3"), QStringLiteral("WUDFRd"), QStringLiteral("USBSTOR"), QStringLiteral("HidUsb"),
            QStringLiteral("kbdhid"),  QStringLiteral("mouhid"), QStringLiteral("disk"),    QStringLiteral("usbhub"),
            QStringLiteral("usbvideo"), QStringLiteral("RtlWlanu"), QStringLiteral("BTHUSB")};
}

QJsonObject usbDeviceObject(DeviceItem& node, bool isReportedItem)
{
    // The page gets the members in this order.
    webui::OrderedObject object;
    object.add(QStringLiteral("Name"), node.text(kSlotName));
    object.add(QStringLiteral("Manu"), node.text(kSlotManufacturer));
    object.add(QStringLiteral("Service"), node.text(kSlotService));
    object.add(QStringLiteral("Class"), node.text(kSlotClass));
    object.add(QStringLiteral("Enumerator"), node.text(kSlotEnumerator));
    object.add(QStringLiteral("Instanceid"), node.text(kSlotInstanceId));
    object.add(QStringLiteral("ParentInstanceid"), isReportedItem ? QString() : node.text(kSlotParent));
    object.add(QStringLiteral("Hardwareid"), node.hardwareIds().value(0));
    return object.object();
}

std::optional<QJsonArray> usbDeviceReport(DeviceItem* item, const QStringList& serviceFilter)
{
    if (!item)
        return std::nullopt;
    const QString container = item->text(kSlotContainerId);
    const std::size_t limit = item->tree() ? item->tree()->items().size() + 1 : 1;
    QJsonArray devices;
    std::vector<DeviceItem*> stack{item};
    std::size_t visited = 0;
    while (!stack.empty() && visited++ < limit) {
        DeviceItem* node = stack.back();
        stack.pop_back();
        // Below the item, a node's siblings follow its own subtree; the item's
        // own siblings are other devices.
        if (node != item && node->nextSibling())
            stack.push_back(node->nextSibling());
        if (node->firstChild())
            stack.push_back(node->firstChild());

        if (node->text(kSlotContainerId) != container)
            continue;
        const QJsonObject object = usbDeviceObject(*node, node == item);
        if (serviceFilter.contains(object.value(QStringLiteral("Service")).toString(), Qt::CaseSensitive))
            return std::nullopt;
        devices.append(object);
    }
    return devices;
}

QString printerList(const HardwareDatabase& hwdb)
{
    QJsonArray list;
    for (const UsbDeviceProperties& device : readDeviceProperties(UsbPopulation::Printers, hwdb)) {
        QJsonObject entry;
        entry.insert(QStringLiteral("desc"), device.deviceDesc.isEmpty() ? device.friendlyName : device.deviceDesc);
        entry.insert(QStringLiteral("hardid"), device.hardwareIds.value(0));
        list.append(entry);
    }
    if (list.isEmpty())
        return QStringLiteral("[]");
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented));
}
