#pragma once
// Device-change notifications for a window, from the kernel's uevents.
//
// Thread: none of its own. A DeviceChangeMonitor belongs to the UI thread. A
// QSocketNotifier on its udev monitor socket wakes it there; it reads what is
// pending and posts every event of a registered interface class to its window
// as WM_DEVICECHANGE (webui::postWindowMessage), so the window procedure
// handles it later from the event loop, like any other message. It touches
// nothing but its own socket. It stops listening when destroyed.
//
// The kernel's own netlink group is used by default: it works without udevd
// (containers, minimal systems) and the events carry everything the
// classification needs. KORVANE_DEVICE_EVENTS=udev listens to udevd's
// processed events instead; any other value turns the notifications off, the
// same as a socket that cannot be opened.

#include "webui/windowmessage.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace devicemonitor {

// Device interface classes (GUID_DEVINTERFACE_PRINTER, _USB_DEVICE).
inline constexpr char kPrinterInterfaceClass[] = "{0ecef634-6ef0-472a-8085-5ad023ecbccd}";
inline constexpr char kUsbDeviceInterfaceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

constexpr std::uint32_t kDeviceTypeInterface = 5;      // DBT_DEVTYP_DEVICEINTERFACE
constexpr std::uint32_t kBroadcastInterfaceSize = 32;  // sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)

// The payload of an arrival or removal (DEV_BROADCAST_DEVICEINTERFACE).
struct DeviceBroadcastInterface {
    std::uint32_t size = kBroadcastInterfaceSize;
    std::uint32_t deviceType = kDeviceTypeInterface;
    QString classGuid;
    QString name;  // the device's sysfs path
};

// What one uevent says, as far as telling its interface class needs.
struct Uevent {
    QString action;     // add, remove, bind, change, ...
    QString subsystem;  // usb, usbmisc, ...
    QString devtype;    // usb_device, usb_interface
    QString sysname;    // 1-1, 1-1:1.0, lp0
    QString interface;  // INTERFACE=class/subclass/protocol of a USB interface
    QString syspath;
};

// The interface class the event's device belongs to: the printer class for a
// USB interface of class 7 and for its usblp node (usbmisc lpN), the USB
// device class for a usb_device; "" for anything else.
QString interfaceClassOf(const Uevent& event);
// DBT_DEVICEARRIVAL for "add", and for "bind" of a USB interface (its driver
// binds after the add was announced, so only then is it a working printer);
// DBT_DEVICEREMOVECOMPLETE for "remove"; 0 for anything else.
std::uintptr_t eventCodeOf(const Uevent& event);

class DeviceChangeMonitor {
public:
    explicit DeviceChangeMonitor(webui::WindowHandle recipient);
    ~DeviceChangeMonitor();
    DeviceChangeMonitor(const DeviceChangeMonitor&) = delete;
    DeviceChangeMonitor& operator=(const DeviceChangeMonitor&) = delete;

    // Asks for arrivals and removals of one interface class. False when the
    // event socket cannot be opened: nothing is ever posted then.
    bool registerInterfaceClass(const QString& classGuid);
    bool isListening() const { return m_notifier != nullptr; }

private:
    struct Udev;
    bool open();
    void readPending();
    void deliver(const Uevent& event);

    webui::WindowHandle m_recipient;
    std::vector<QString> m_classes;
    bool m_failed = false;
    std::unique_ptr<Udev> m_udev;
    std::unique_ptr<QSocketNotifier> m_notifier;  // declared last: goes before the socket
};

}  // namespace devicemonitor
