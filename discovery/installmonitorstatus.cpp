#include "discovery/installmonitorstatus.h"

#include "devicetree/devicesource.h"
#include "devicetree/devicetree.h"
#include "devicetree/deviceutils.h"
#include "discovery/usbprinters.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
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

// One JSON value as text, with the two line separators escaped, which older
// script engines do not accept inside a string literal.
QString jsonText(const QJsonValue& value)
{
    QString text = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    text = text.mid(1, text.size() - 2);
    text.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    text.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return text;
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

UsbStatus readUsbStatus(const DeviceTree& tree, const QString& deviceId)
{
    UsbStatus status;
    if (!tree.root())
        return status;
    std::vector<DeviceItem*> usbNodes;
    collectUsbNodes(tree.root(), usbNodes);
    DeviceItem* chosen = nullptr;
    for (DeviceItem* node : usbNodes) {
        if (node->instanceId().startsWith(deviceId, Qt::CaseSensitive))
            chosen = node;
    }
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
    if (!status.connected)
        return QStringLiteral("{\"code\":true,") + jsonText(kConnectedKey) + QStringLiteral(":false}");
    return QStringLiteral("{") + jsonText(kConnectedKey) + QStringLiteral(":true,\"usbprint\":") +
           jsonText(status.usbprint) + QStringLiteral(",\"printQueue\":") +
           jsonText(QJsonArray::fromStringList(status.printQueue)) + QStringLiteral(",\"code\":true}");
}

QJsonObject usbStatusObject(const UsbStatus& status)
{
    QJsonObject object{{kConnectedKey, status.connected}, {QStringLiteral("code"), true}};
    if (status.connected) {
        object.insert(QStringLiteral("usbprint"), status.usbprint);
        object.insert(QStringLiteral("printQueue"), QJsonArray::fromStringList(status.printQueue));
    }
    return object;
}

QString pageCallWithJson(const QString& function, const QString& jsonArgument)
{
    // Evaluated as global code, where "this" is the page's global object.
    return QStringLiteral("(function (g) { var f = g[%1]; if (typeof f === 'function') f.call(g, %2); })(this);")
        .arg(jsonText(function), jsonArgument);
}

}  // namespace installmonitor
