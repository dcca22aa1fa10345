#pragma once
// What the install monitor tells its page about the watched USB device, read
// from a device tree snapshot.

#include <QJsonObject>
#include <QString>
#include <QStringList>

class DeviceTree;

namespace installmonitor {

// The page object of "notifyPrinterChangedByCpp".
struct UsbStatus {
    bool connected = false;
    bool usbprint = false;   // the device or a node below it is served by usbprint
    QStringList printQueue;  // names of the print queues at or below it, in pre-order
};

inline bool operator==(const UsbStatus& a, const UsbStatus& b)
{
    return a.connected == b.connected && a.usbprint == b.usbprint && a.printQueue == b.printQueue;
}
inline bool operator!=(const UsbStatus& a, const UsbStatus& b)
{
    return !(a == b);
}

// Clears and builds the tree. A snapshot that cannot be taken or that does
// not form one tree leaves it empty; false then.
bool rebuildTree(DeviceTree& tree);

// Whether some node of the tree has an instance id that begins with the
// prefix (case-sensitive; an empty prefix matches any node).
bool anyNodeStartsWith(const DeviceTree& tree, const QString& prefix);

// The status of the device whose instance id begins with deviceId: the last
// such node among the present USB devices (one per vendor/product pair).
UsbStatus readUsbStatus(const DeviceTree& tree, const QString& deviceId);

// Whether the print queue device URI names the device readUsbStatus would
// describe for deviceId (see devicetree::queueNamesDevice).
bool queueNamesWatchedDevice(const DeviceTree& tree, const QString& deviceId, const QString& deviceUri);

// The page object, its members in the page's order (webui/pagejson.h):
// {"connected ":true,"usbprint":...,"printQueue":[...],"code":true}, or
// {"code":true,"connected ":false} when the device is not there. The first
// key ends in a blank.
QJsonObject usbStatusObject(const UsbStatus& status);
// The same as the JSON text the page receives.
QString usbStatusJson(const UsbStatus& status);

}  // namespace installmonitor
