#pragma once
// A snapshot of the machine's present devices linked into one tree by
// instance id. Nodes read their properties lazily, at most once per slot, so
// the source's snapshot stays open until clear().
//
// A tree is used by one thread at a time: built on the search thread, then
// handed to the UI thread through a queued signal.

#include "devicetree/devicesource.h"
#include "devicetree/hwdb.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class DeviceTree;

class DeviceItem {
public:
    struct Slot {
        devicetree::PropertyKind kind = devicetree::PropertyKind::String;
        bool hasValue = false;
        bool fetched = false;
        devicetree::PropertyValue value;
        QString text;  // display text
    };

    DeviceItem(const DeviceItem&) = delete;
    DeviceItem& operator=(const DeviceItem&) = delete;

    DeviceTree* tree() const { return m_tree; }
    DeviceItem* parent() const { return m_parent; }
    DeviceItem* nextSibling() const { return m_nextSibling; }
    DeviceItem* firstChild() const { return m_firstChild; }
    int childCount() const { return m_childCount; }

    std::uint32_t instanceIdHash() const { return m_instanceIdHash; }
    const QString& instanceId() const { return m_instanceId; }
    const QString& parentInstanceId() const { return m_parentInstanceId; }
    const QStringList& hardwareIds() const { return m_hardwareIds; }
    std::uint32_t problemCode() const { return m_problemCode; }
    std::uint32_t nodeStatus() const { return m_nodeStatus; }

    // The slot, read from the source first when it has not been yet.
    const Slot& property(int slot);
    const QString& text(int slot) { return property(slot).text; }

private:
    friend class DeviceTree;
    DeviceItem(DeviceTree* tree, std::size_t sourceIndex);
    void fetch(int slot);
    void setText(int slot, const QString& text);

    DeviceTree* m_tree;
    DeviceItem* m_parent = nullptr;
    DeviceItem* m_nextSibling = nullptr;
    DeviceItem* m_firstChild = nullptr;
    DeviceItem* m_lastChild = nullptr;
    std::uint32_t m_instanceIdHash = 0;
    QString m_instanceId;
    QString m_parentInstanceId;
    QStringList m_hardwareIds;
    std::uint32_t m_problemCode = 45;
    std::uint32_t m_nodeStatus = 0;
    int m_childCount = 0;
    std::size_t m_sourceIndex;  // SIZE_MAX for the synthetic root
    std::array<Slot, devicetree::kSlotCount> m_slots;
};

class DeviceTree {
public:
    // The machine's devices from sysfs, named through the given database.
    explicit DeviceTree(const devicetree::HardwareDatabase& hwdb = devicetree::HardwareDatabase::system());
    explicit DeviceTree(std::unique_ptr<devicetree::DeviceSource> source);
    ~DeviceTree();
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;

    // Drops every node and the snapshot; 0.
    int clear();
    // Takes a snapshot and links it: 0, or the error code of a source that
    // cannot be opened (the tree stays empty). A second parentless node throws
    // DeviceTreeError("exception"); the nodes stay, the root is null.
    int build();

    DeviceItem* root() const { return m_root; }
    const std::vector<DeviceItem*>& items() const { return m_items; }
    devicetree::DeviceSource* source() const { return m_source.get(); }

private:
    friend class DeviceItem;
    DeviceItem* createNode(std::size_t sourceIndex);
    void link();
    void detachUnreachable();

    std::unique_ptr<devicetree::DeviceSource> m_source;
    bool m_open = false;
    DeviceItem* m_root = nullptr;
    std::vector<DeviceItem*> m_items;
    std::vector<std::unique_ptr<DeviceItem>> m_owned;
};

Q_DECLARE_METATYPE(DeviceItem*)
Q_DECLARE_METATYPE(std::vector<DeviceItem*>)
Q_DECLARE_METATYPE(std::vector<DeviceItem*>*)
Q_DECLARE_METATYPE(DeviceTree*)
Q_DECLARE_METATYPE(const DeviceTree*)
