#include "discovery/devicemonitor.h"

#include "devicetree/deviceconstants.h"

#include <QDebug>
#include <QSocketNotifier>
#include <libudev.h>

namespace devicemonitor {

namespace {

// A burst (a hub with its devices, a printer with its interfaces) is a few
// dozen events; more than this per wake-up waits for the next one, so a
// flood cannot hold the UI thread.
constexpr int kMaxEventsPerWake = 256;
constexpr int kMaxFieldLength = 512;

struct UdevUnref {
    void operator()(udev* handle) const { udev_unref(handle); }
};
struct MonitorUnref {
    void operator()(udev_monitor* handle) const { udev_monitor_unref(handle); }
};
struct DeviceUnref {
    void operator()(udev_device* handle) const { udev_device_unref(handle); }
};
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

QString field(const char* value)
{
    return value ? QString::fromUtf8(value).left(kMaxFieldLength) : QString();
}

// The netlink group to listen to, or null when notifications are turned off.
const char* netlinkGroup()
{
    const QByteArray wanted = qgetenv("KORVANE_DEVICE_EVENTS").trimmed();
    if (wanted.isEmpty() || wanted == "kernel")
        return "kernel";
    if (wanted == "udev")
        return "udev";
    return nullptr;
}

bool isLineSpoolerNode(const Uevent& event)
{
    if (event.subsystem != QLatin1String("usbmisc") || !event.sysname.startsWith(QLatin1String("lp")))
        return false;
    bool ok = false;
    event.sysname.mid(2).toUInt(&ok);
    return ok;
}

Uevent readUevent(udev_device* device)
{
    Uevent event;
    event.action = field(udev_device_get_action(device));
    event.subsystem = field(udev_device_get_subsystem(device));
    event.devtype = field(udev_device_get_devtype(device));
    event.sysname = field(udev_device_get_sysname(device));
    event.syspath = field(udev_device_get_syspath(device));
    event.interface = field(udev_device_get_property_value(device, "INTERFACE"));
    if (event.interface.isEmpty() && event.devtype == QLatin1String("usb_interface")) {
        // Only a device that is still there can be asked.
        bool ok = false;
        const uint cls = field(udev_device_get_sysattr_value(device, "bInterfaceClass")).toUInt(&ok, 16);
        if (ok)
            event.interface = QString::number(cls);
    }
    return event;
}

}  // namespace

QString interfaceClassOf(const Uevent& event)
{
    if (event.subsystem == QLatin1String("usb")) {
        if (event.devtype == QLatin1String("usb_device"))
            return QString::fromLatin1(kUsbDeviceInterfaceClass);
        if (event.devtype == QLatin1String("usb_interface")) {
            bool ok = false;
            const int cls = event.interface.section(QLatin1Char('/'), 0, 0).toInt(&ok);
            if (ok && cls == devicetree::kUsbClassPrinter)
                return QString::fromLatin1(kPrinterInterfaceClass);
        }
        return {};
    }
    if (isLineSpoolerNode(event))
        return QString::fromLatin1(kPrinterInterfaceClass);
    return {};
}

std::uintptr_t eventCodeOf(const Uevent& event)
{
    if (event.action == QLatin1String("add"))
        return webui::msg::kDeviceArrival;
    if (event.action == QLatin1String("remove"))
        return webui::msg::kDeviceRemoveComplete;
    if (event.action == QLatin1String("bind") && event.devtype == QLatin1String("usb_interface"))
        return webui::msg::kDeviceArrival;
    return 0;
}

struct DeviceChangeMonitor::Udev {
    std::unique_ptr<udev, UdevUnref> context;
    std::unique_ptr<udev_monitor, MonitorUnref> monitor;
};

DeviceChangeMonitor::DeviceChangeMonitor(webui::WindowHandle recipient)
    : m_recipient(recipient)
{
}

DeviceChangeMonitor::~DeviceChangeMonitor() = default;

bool DeviceChangeMonitor::registerInterfaceClass(const QString& classGuid)
{
    if (!m_notifier && !open())
        return false;
    for (const QString& known : m_classes) {
        if (known.compare(classGuid, Qt::CaseInsensitive) == 0)
            return true;
    }
    m_classes.push_back(classGuid.toLower());
    return true;
}

bool DeviceChangeMonitor::open()
{
    if (m_failed)
        return false;
    m_failed = true;  // until it worked
    const char* group = netlinkGroup();
    if (!group) {
        qWarning() << "device events: turned off by KORVANE_DEVICE_EVENTS";
        return false;
    }
    auto handles = std::make_unique<Udev>();
    handles->context.reset(udev_new());
    if (!handles->context) {
        qWarning() << "device events: udev is not available";
        return false;
    }
    handles->monitor.reset(udev_monitor_new_from_netlink(handles->context.get(), group));
    if (!handles->monitor) {
        qWarning() << "device events: the" << group << "event socket cannot be opened";
        return false;
    }
    // Only USB devices, their interfaces and the usblp nodes matter here.
    udev_monitor_filter_add_match_subsystem_devtype(handles->monitor.get(), "usb", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(handles->monitor.get(), "usbmisc", nullptr);
    const int error = udev_monitor_enable_receiving(handles->monitor.get());
    const int fd = udev_monitor_get_fd(handles->monitor.get());
    if (error < 0 || fd < 0) {
        qWarning() << "device events: cannot listen on the" << group << "event socket, error" << -error;
        return false;
    }
    m_udev = std::move(handles);
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readPending(); });
    m_failed = false;
    return true;
}

void DeviceChangeMonitor::readPending()
{
    if (!m_udev)
        return;
    for (int i = 0; i < kMaxEventsPerWake; ++i) {
        // Non-blocking: null once the socket is drained (or a message was
        // refused by the filter or its sender check).
        DevicePtr device(udev_monitor_receive_device(m_udev->monitor.get()));
        if (!device)
            return;
        deliver(readUevent(device.get()));
    }
}

void DeviceChangeMonitor::deliver(const Uevent& event)
{
    const std::uintptr_t code = eventCodeOf(event);
    if (code == 0)
        return;
    const QString cls = interfaceClassOf(event);
    if (cls.isEmpty())
        return;
    bool wanted = false;
    for (const QString& known : m_classes)
        wanted = wanted || known == cls;
    if (!wanted)
        return;
    auto header = std::make_shared<DeviceBroadcastInterface>();
    header->classGuid = cls;
    header->name = event.syspath;
    webui::postWindowMessage(m_recipient, webui::msg::kDeviceChange, code, 0, std::move(header));
}

}  // namespace devicemonitor
