#pragma once
// The install monitor window: a page window that watches one USB device while
// the user sets it up, and tells its page when the device comes and goes and
// when printers appear.
//
// Everything happens on the UI thread, in the window procedure: device
// changes arrive as WM_DEVICECHANGE from the window's DeviceChangeMonitor,
// printer additions (and, while a USB device is watched, deletions) as
// message 2128 from the printer change monitor. The device snapshots take the
// print queues from the change monitor's latest reading, so nothing here
// waits for the scheduler. Page calls:
//   "notifyUSBChangedByCpp"(bool)          the watched device was plugged in
//                                          (true) or removed (false);
//   "notifyPrinterChangedByCpp"(status)    the watched device's status changed
//                                          as a printer interface or a queue
//                                          naming it came or went; status as
//                                          installmonitorstatus.h;
//   "notifyWirelessPrintQueue"(key, v1, v2) a printer was added whose port
//                                          (CUPS device-uri) contains the key.
// The page may also call "usbStatus"([deviceId]) for the current status.

#include "devicetree/devicetree.h"
#include "discovery/installmonitorstatus.h"
#include "webui/basewindow.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace devicemonitor {
class DeviceChangeMonitor;
}
namespace PrinterAPI {
struct PrinterChange;
}

class InstallMonitorBlkWindow : public webui::BaseBlkWinow {
public:
    static constexpr int kWindowType = 5;

    InstallMonitorBlkWindow(webui::WindowHandle parent, bool createAsModal, const QString& url,
                            int windowType = kWindowType);
    ~InstallMonitorBlkWindow() override;

    // Whether a page may ask to watch this id: USB\VID_vvvv&PID_pppp (hex),
    // optionally followed by a backslash and an instance part of printable
    // ASCII; at most 256 characters.
    static bool isWatchableUsbId(const QString& id);

    // Before create(): the device to watch, an instance id prefix such as
    // USB\VID_03F0&PID_1853 (empty watches any device).
    void setWatchedUsbId(const QString& id);
    // The text looked for in the port of a newly added printer and the two
    // values passed to the page with a match. Only a window that watches no
    // USB device looks; an empty key looks for nothing.
    void setWirelessWatch(const QString& portKey, const QString& value1, const QString& value2);

    // BaseBlkWinow::create(), then what the window does once it exists:
    // registers for device changes and subscribes to printer additions.
    bool create(int showCommand = 1);

    bool watchUsb() const { return m_watchUsb != 0; }
    const QString& watchedUsbId() const { return m_watchedUsbId; }
    // Whether device changes reach this window (false when the kernel's event
    // socket could not be opened).
    bool hearsDeviceChanges() const { return m_hearsDeviceChanges; }
    // How many device-change messages the window has handled so far.
    int deviceChangesHandled() const { return m_deviceChangesHandled; }

    // Rebuilds the tree and describes the device whose id begins with deviceId.
    installmonitor::UsbStatus usbStatus(const QString& deviceId);
    installmonitor::UsbStatus usbStatus() { return usbStatus(m_watchedUsbId); }

    std::intptr_t windowProc(const webui::WindowMessage& message) override;

protected:
    QString windowClassName() const override { return QStringLiteral("installerMonitor"); }

private:
    std::intptr_t onDeviceChange(const webui::WindowMessage& message);
    void onPrinterChanged(const webui::WindowMessage& message);
    void onQueueOfWatchedDevice(const PrinterAPI::PrinterChange& change);
    void notifyPrinterChanged();
    void tellStatus(const installmonitor::UsbStatus& status);
    void notifyUsbChanged(bool plugged);
    void bindUsbStatus();

    std::int32_t m_watchUsb = 0;
    QString m_watchedUsbId;
    QString m_wirelessPortKey;
    QString m_wirelessValue1;
    QString m_wirelessValue2;
    DeviceTree m_tree;

    std::unique_ptr<devicemonitor::DeviceChangeMonitor> m_deviceChanges;
    bool m_hearsDeviceChanges = false;
    bool m_subscribed = false;
    int m_deviceChangesHandled = 0;
    // What the page knows of the watched device: what it was last told, or
    // before that what the look at creation found; nothing while no device
    // tree could be read. A change elsewhere is not reported to a page that
    // already knows the device is absent.
    std::optional<bool> m_knownPlugged;                    // through notifyUSBChangedByCpp
    std::optional<installmonitor::UsbStatus> m_knownStatus;  // through notifyPrinterChangedByCpp or usbStatus
};
