#include "devicetree/devicesource.h"

namespace devicetree {

PropertyKind slotKind(int slot)
{
    switch (slot) {
    case kSlotProblemCode:
    case kSlotNodeStatus:
        return PropertyKind::UInt32;
    case kSlotContainerId:
        return PropertyKind::Guid;
    case kSlotIsPresent:
        return PropertyKind::Boolean;
    case kSlotHardwareIds:
        return PropertyKind::StringList;
    default:
        return PropertyKind::String;
    }
}

PropertyValue PropertyValue::ofText(const QString& value)
{
    PropertyValue v;
    v.present = true;
    v.text = value;
    return v;
}

PropertyValue PropertyValue::ofNumber(std::uint32_t value)
{
    PropertyValue v;
    v.present = true;
    v.number = value;
    return v;
}

PropertyValue PropertyValue::ofFlag(bool value)
{
    PropertyValue v;
    v.present = true;
    v.flag = value;
    return v;
}

PropertyValue PropertyValue::ofList(const QStringList& value)
{
    PropertyValue v;
    v.present = true;
    v.list = value;
    return v;
}

}  // namespace devicetree
