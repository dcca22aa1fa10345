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

// Clears and builds the tree. A snapshot that cannot be taken or that does
// not form one tree leaves it empty; false then.
bool rebuildTree(DeviceTree& tree);

// Whether some node of the tree has an instance id that begins with the
// prefix (case-sensitive; an empty prefix matches any node).
bool anyNodeStartsWith(const DeviceTree& tree, const QString& prefix);

// The status of the device whose instance id begins with deviceId: the last
// such node among the present USB devices (one per vendor/product pair).
UsbStatus readUsbStatus(const DeviceTree& tree, const QString& deviceId);

// The page object as JSON text with its keys in the page's order:
// {"connected ":true,"usbprint":...,"printQueue":[...],"code":true}, or
// {"code":true,"connected ":false} when the device is not there. The first
// key ends in a blank.
QString usbStatusJson(const UsbStatus& status);
// The same keys, for a page value (whose key order the bridge does not keep).
QJsonObject usbStatusObject(const UsbStatus& status);

// A script that calls the page's global function with the JSON text as its
// one argument, and does nothing when the page has no such function.
QString pageCallWithJson(const QString& function, const QString& jsonArgument);

}  // namespace installmonitor
