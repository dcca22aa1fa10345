#pragma once
// Which print queues drive which USB device. The queue list comes from the
// print system through a provider that it registers at start-up; the device
// tree only matches device URIs against the device's own identity.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace devicetree {

struct PrintQueueBinding {
    QString name;       // the queue name
    QString deviceUri;  // e.g. usb://HP/LaserJet%20Pro?serial=PHB123&interface=1
};

// What a USB printer says about itself: the IEEE 1284 id fields when usblp
// exposes them, else the USB descriptor strings.
struct UsbPrinterIdentity {
    QString make;
    QString model;
    QString serial;
};

// The queues (in list order) whose device URI names this device: a usb:// URI
// whose serial equals the device's, or, when the URI carries no serial, whose
// make and model equal the device's (ignoring case).
QStringList queuesNamingDevice(const UsbPrinterIdentity& device, const std::vector<PrintQueueBinding>& queues);

// The parts of a usb:// device URI; nothing when it is not one.
struct UsbDeviceUri {
    QString make;
    QString model;
    QString serial;
};
bool parseUsbDeviceUri(const QString& uri, UsbDeviceUri* out);

// The provider is called on whichever thread builds a device snapshot, so it
// must be thread-safe. Without one there are no queues.
using PrintQueueProvider = std::function<std::vector<PrintQueueBinding>()>;
void setPrintQueueProvider(PrintQueueProvider provider);
std::vector<PrintQueueBinding> currentPrintQueues();

}  // namespace devicetree
