#pragma once
// Where a DeviceTree takes its nodes and their properties from. The machine's
// source reads sysfs (sysfssource.h); tests of the tree's own rules feed
// records directly.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

namespace devicetree {

// The eighteen property slots of a node, by number.
enum PropertySlotId : int {
    kSlotName = 0,
    kSlotInstanceId = 1,
    kSlotParent = 2,
    kSlotProblemCode = 3,
    kSlotNodeStatus = 4,
    kSlotFriendlyName = 5,
    kSlotClassName = 6,
    kSlotContainerId = 7,
    kSlotClass = 8,
    kSlotBusReportedDesc = 9,
    kSlotManufacturer = 10,
    kSlotDriverDesc = 11,
    kSlotDriverProvider = 12,
    kSlotService = 13,
    kSlotIsPresent = 14,
    kSlotLocationInfo = 15,
    kSlotEnumerator = 16,
    kSlotHardwareIds = 17,
};
constexpr int kSlotCount = 18;

enum class PropertyKind : int { UInt32 = 1, Guid = 4, Boolean = 5, String = 7, StringList = 8 };

PropertyKind slotKind(int slot);

// One property as a source answers it. Which member counts follows the slot's
// kind; a GUID travels as its 38-character braced text.
struct PropertyValue {
    bool present = false;
    std::uint32_t number = 0;
    bool flag = false;
    QString text;
    QStringList list;

    static PropertyValue absent() { return {}; }
    static PropertyValue ofText(const QString& value);
    static PropertyValue ofNumber(std::uint32_t value);
    static PropertyValue ofFlag(bool value);
    static PropertyValue ofList(const QStringList& value);
};

class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    // Takes a snapshot of the present devices: 0, or a Win32 error code when
    // there is nothing to enumerate.
    virtual std::uint32_t open() = 0;
    // Drops the snapshot; properties can no longer be read.
    virtual void close() = 0;
    virtual std::size_t count() const = 0;
    virtual PropertyValue read(std::size_t node, int slot) const = 0;
};

}  // namespace devicetree
