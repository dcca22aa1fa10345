#include "devicetree/devicetree.h"

#include "devicetree/deviceconstants.h"
#include "devicetree/deviceutils.h"
#include "devicetree/sysfssource.h"
#include "sysutil/errorlog.h"
#include "sysutil/textconv.h"

#include <QHash>
#include <limits>

using namespace devicetree;

namespace {

constexpr std::size_t kSyntheticRoot = std::numeric_limits<std::size_t>::max();

QString displayText(int slot, PropertyKind kind, const PropertyValue& value)
{
    switch (kind) {
    case PropertyKind::UInt32:
        return slot == kSlotNodeStatus ? QStringLiteral("0x") + QString::number(value.number, 16)
                                       : QString::number(value.number);
    case PropertyKind::Boolean:
        return value.flag ? QStringLiteral("true") : QStringLiteral("false");
    case PropertyKind::StringList: {
        QString text;
        for (const QString& entry : value.list)
            text += entry + QLatin1Char(',');
        return text;
    }
    case PropertyKind::Guid:
    case PropertyKind::String:
        break;
    }
    return value.text;
}

}  // namespace

DeviceItem::DeviceItem(DeviceTree* tree, std::size_t sourceIndex)
    : m_tree(tree)
    , m_sourceIndex(sourceIndex)
{
    for (int i = 0; i < kSlotCount; ++i)
        m_slots[std::size_t(i)].kind = slotKind(i);
}

const DeviceItem::Slot& DeviceItem::property(int slot)
{
    static const Slot kNoSlot;
    if (slot < 0 || slot >= kSlotCount)
        return kNoSlot;
    Slot& s = m_slots[std::size_t(slot)];
    if (!s.fetched)
        fetch(slot);
    return s;
}

void DeviceItem::fetch(int slot)
{
    Slot& s = m_slots[std::size_t(slot)];
    s.fetched = true;
    DeviceSource* source = m_tree ? m_tree->m_source.get() : nullptr;
    if (m_sourceIndex == kSyntheticRoot || !source || !m_tree->m_open)
        return;
    PropertyValue value = source->read(m_sourceIndex, slot);
    if (!value.present)
        return;
    s.hasValue = true;
    s.text = displayText(slot, s.kind, value);
    s.value = std::move(value);
}

void DeviceItem::setText(int slot, const QString& text)
{
    Slot& s = m_slots[std::size_t(slot)];
    s.fetched = true;
    s.hasValue = true;
    s.value = PropertyValue::ofText(text);
    s.text = text;
}

DeviceTree::DeviceTree(const HardwareDatabase& hwdb)
    : m_source(std::make_unique<SysfsDeviceSource>(hwdb))
{
}

DeviceTree::DeviceTree(std::unique_ptr<DeviceSource> source)
    : m_source(std::move(source))
{
}

DeviceTree::~DeviceTree()
{
    clear();
}

int DeviceTree::clear()
{
    if (m_source && m_open)
        m_source->close();
    m_open = false;
    m_root = nullptr;
    m_items.clear();
    m_owned.clear();
    return 0;
}

DeviceItem* DeviceTree::createNode(std::size_t sourceIndex)
{
    m_owned.push_back(std::unique_ptr<DeviceItem>(new DeviceItem(this, sourceIndex)));
    DeviceItem* node = m_owned.back().get();
    m_items.push_back(node);
    return node;
}

int DeviceTree::build()
{
    m_root = nullptr;
    if (!m_source)
        return 0;
    if (m_open)
        clear();
    if (const std::uint32_t error = m_source->open()) {
        KORVANE_DEVICE_LOG_ERROR(std::to_wstring(error));
        return int(error);
    }
    m_open = true;

    bool haveRoot = false;
    const std::size_t count = m_source->count();
    m_items.reserve(count + 1);
    m_owned.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        DeviceItem* node = createNode(i);
        const DeviceItem::Slot& ids = node->property(kSlotHardwareIds);
        if (ids.hasValue)
            node->m_hardwareIds = ids.value.list;
        node->m_instanceId = node->property(kSlotInstanceId).text;
        if (!node->m_instanceId.isEmpty()) {
            node->m_instanceIdHash = instanceIdHash(node->m_instanceId, true, 2);
            if (node->m_instanceIdHash == kRootInstanceIdHash) {
                node->setText(kSlotName, computerName());
                haveRoot = true;
            } else {
                node->property(kSlotName);
            }
        }
        node->m_parentInstanceId = node->property(kSlotParent).text;
        const DeviceItem::Slot& problem = node->property(kSlotProblemCode);
        node->m_problemCode = problem.hasValue ? problem.value.number : kProblemPhantom;
        const DeviceItem::Slot& status = node->property(kSlotNodeStatus);
        node->m_nodeStatus = status.hasValue ? status.value.number : 0;
        node->property(kSlotContainerId);
    }

    if (!haveRoot) {
        KORVANE_DEVICE_LOG_ERROR(L"no root");
        DeviceItem* root = createNode(kSyntheticRoot);
        root->m_instanceId = QString::fromUtf16(kRootInstanceId);
        root->m_instanceIdHash = kRootInstanceIdHash;
        root->setText(kSlotInstanceId, root->m_instanceId);
        root->setText(kSlotName, computerName());
    }

    link();
    return 0;
}

void DeviceTree::link()
{
    // Ids compare without regard to case; the first node in enumeration order
    // with a matching id is the parent.
    QHash<QString, std::vector<DeviceItem*>> byId;
    byId.reserve(int(m_items.size()));
    for (DeviceItem* node : m_items) {
        if (!node->m_instanceId.isEmpty())
            byId[node->m_instanceId.toLower()].push_back(node);
    }

    DeviceItem* rootCandidate = nullptr;
    for (DeviceItem* node : m_items) {
        DeviceItem* parent = nullptr;
        if (!node->m_parentInstanceId.isEmpty()) {
            const auto found = byId.constFind(node->m_parentInstanceId.toLower());
            if (found != byId.constEnd()) {
                for (DeviceItem* candidate : *found) {
                    if (candidate != node) {
                        parent = candidate;
                        break;
                    }
                }
            }
        }
        if (parent) {
            node->m_parent = parent;
            ++parent->m_childCount;
            if (parent->m_lastChild)
                parent->m_lastChild->m_nextSibling = node;
            else
                parent->m_firstChild = node;
            parent->m_lastChild = node;
        } else if (!rootCandidate) {
            rootCandidate = node;
        } else {
            KORVANE_DEVICE_LOG_ERROR(L"multi root");
            throw DeviceTreeError("exception");
        }
    }
    m_root = rootCandidate;
    detachUnreachable();
}

void DeviceTree::detachUnreachable()
{
    // Nodes whose parent chain loops never reach the root. Walkers start at
    // the root and would never see them, but their links would still form a
    // circle; cut them out so no walk can ever go round.
    QHash<const DeviceItem*, bool> reached;
    reached.reserve(int(m_items.size()));
    std::vector<DeviceItem*> stack;
    if (m_root)
        stack.push_back(m_root);
    while (!stack.empty() && std::size_t(reached.size()) <= m_items.size()) {
        DeviceItem* node = stack.back();
        stack.pop_back();
        if (reached.contains(node))
            continue;
        reached.insert(node, true);
        for (DeviceItem* child = node->m_firstChild; child; child = child->m_nextSibling)
            stack.push_back(child);
    }
    if (std::size_t(reached.size()) == m_items.size())
        return;

    std::size_t detached = 0;
    QString first;
    for (DeviceItem* node : m_items) {
        if (reached.contains(node))
            continue;
        if (first.isEmpty())
            first = node->m_instanceId;
        node->m_parent = nullptr;
        node->m_firstChild = nullptr;
        node->m_lastChild = nullptr;
        node->m_nextSibling = nullptr;
        node->m_childCount = 0;
        ++detached;
    }
    KORVANE_DEVICE_LOG_ERROR(L"cycle: " + std::to_wstring(detached) + L" nodes cut off, first " +
                             sysutil::toWide(first.left(200)));
}
