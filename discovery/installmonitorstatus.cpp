#include "discovery/installmonitorstatus.h"

#include "devicetree/devicesource.h"
#include "devicetree/devicetree.h"
#include "devicetree/deviceutils.h"
#include "devicetree/sysfssource.h"
#include "discovery/usbprinters.h"
#include "webui/pagejson.h"

#include <QDebug>
#include <QJsonArray>
#include <vector>

namespace installmonitor {

namespace {

const QString kConnectedKey = QStringLiteral("connected ");

// Pre-order below and at the node, never its siblings; bounded by the tree's
// size so a damaged link can never loop.
template <typename Visit>
void walkSubtree(DeviceItem* top, Visit visit)
{
    const std::size_t limit = top->tree() ? top->tree()->items().size() + 1 : 1;
    std::vector<DeviceItem*> stack{top};
    std::size_t visited = 0;
    while (!stack.empty() && visited++ < limit) {
        DeviceItem* current = stack.back();
        stack.pop_back();
        visit(current);
        // Children are pushed last to first, so the first is taken next.
        std::vector<DeviceItem*> children;
        for (DeviceItem* child = current->firstChild(); child && children.size() < limit; child = child->nextSibling())
            children.push_back(child);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
    }
}

}  // namespace

bool rebuildTree(DeviceTree& tree)
{
    tree.clear();
    try {
        const int error = tree.build();
        if (error == 0 && tree.root())
            return true;
        qWarning() << "install monitor: no device snapshot, error" << error;
    } catch (const devicetree::DeviceTreeError& error) {
        qWarning() << "install monitor: the device snapshot is not one tree:" << error.what();
    }
    tree.clear();
    return false;
}

bool anyNodeStartsWith(const DeviceTree& tree, const QString& prefix)
{
    for (const DeviceItem* item : tree.items()) {
        if (item->instanceId().startsWith(prefix, Qt::CaseSensitive))
            return true;
    }
    return false;
}

namespace {

// The last of the present USB nodes (one per vendor/product pair) whose
// instance id begins with deviceId.
DeviceItem* chosenNode(const DeviceTree& tree, const QString& deviceId)
{
    if (!tree.root())
        return nullptr;
    std::vector<DeviceItem*> usbNodes;
    collectUsbNodes(tree.root(), usbNodes);
    DeviceItem* chosen = nullptr;
    for (DeviceItem* node : usbNodes) {
        if (node->instanceId().startsWith(deviceId, Qt::CaseSensitive))
            chosen = node;
    }
    return chosen;
}

}  // namespace

bool queueNamesWatchedDevice(const DeviceTree& tree, const QString& deviceId, const QString& deviceUri)
{
    const DeviceItem* chosen = chosenNode(tree, deviceId);
    const auto* source = dynamic_cast<const devicetree::SysfsDeviceSource*>(tree.source());
    if (!chosen || !source)
        return false;
    const std::vector<devicetree::SysfsNode>& nodes = source->nodes();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].kind == devicetree::SysfsNodeKind::UsbDevice && nodes[i].instanceId == chosen->instanceId())
            return devicetree::queueNamesDevice(*source, int(i), deviceUri);
    }
    return false;
}

UsbStatus readUsbStatus(const DeviceTree& tree, const QString& deviceId)
{
    UsbStatus status;
    DeviceItem* chosen = chosenNode(tree, deviceId);
    if (!chosen)
        return status;
    status.connected = true;
    walkSubtree(chosen, [&status](DeviceItem* node) {
        if (node->text(devicetree::kSlotService) == QLatin1String("usbprint"))
            status.usbprint = true;
        if (node->text(devicetree::kSlotClass) == QLatin1String("PrintQueue"))
            status.printQueue << node->text(devicetree::kSlotName);
    });
    return status;
}

QString usbStatusJson(const UsbStatus& status)
{
    return webui::pageJson(usbStatusObject(status));
}

QJsonObject usbStatusObject(const UsbStatus& status)
{
    if (!status.connected)
        return webui::OrderedObject{{QStringLiteral("code"), true}, {kConnectedKey, false}}.object();
    return webui::OrderedObject{{kConnectedKey, true},
                                {QStringLiteral("usbprint"), status.usbprint},
                                {QStringLiteral("printQueue"), QJsonArray::fromStringList(status.printQueue)},
                                {QStringLiteral("code"), true}}
        .object();
}

}  // namespace installmonitor
