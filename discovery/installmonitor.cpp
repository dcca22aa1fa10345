#include "discovery/installmonitor.h"

#include "discovery/devicemonitor.h"
#include "discovery/installmonitorqueues.h"
#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "webui/webwindows.h"

#include <QDebug>
#include <QRegularExpression>

using webui::WindowMessage;
namespace msg = webui::msg;

namespace {

constexpr std::intptr_t kDeviceChangeHandled = 1;  // TRUE, as for every WM_DEVICECHANGE
constexpr int kMaxDeviceIdLength = 256;

}  // namespace

InstallMonitorBlkWindow::InstallMonitorBlkWindow(webui::WindowHandle parent, bool createAsModal, const QString& url,
                                                 int windowType)
    : BaseBlkWinow(parent, createAsModal, url, windowType)
{
    // The tree lists a USB printer's queues below it only when it knows them.
    installmonitor::useCupsPrintQueues();
    bindUsbStatus();
}

InstallMonitorBlkWindow::~InstallMonitorBlkWindow()
{
    if (m_subscribed)
        PrinterAPI::PrinterMonitor::instance().unsubscribe(handle());
}

bool InstallMonitorBlkWindow::isWatchableUsbId(const QString& id)
{
    static const QRegularExpression pattern(
        QStringLiteral("^USB\\\\VID_[0-9A-Fa-f]{4}&PID_[0-9A-Fa-f]{4}(\\\\[\\x21-\\x7E]+)?$"));
    return id.size() <= kMaxDeviceIdLength && pattern.match(id).hasMatch();
}

void InstallMonitorBlkWindow::setWatchedUsbId(const QString& id)
{
    m_watchedUsbId = id.left(kMaxDeviceIdLength);
    m_watchUsb = 1;
}

void InstallMonitorBlkWindow::setWirelessWatch(const QString& portKey, const QString& value1, const QString& value2)
{
    m_wirelessPortKey = portKey;
    m_wirelessValue1 = value1;
    m_wirelessValue2 = value2;
}

bool InstallMonitorBlkWindow::create(int showCommand)
{
    if (!BaseBlkWinow::create(showCommand))
        return false;
    m_deviceChanges = std::make_unique<devicemonitor::DeviceChangeMonitor>(handle());
    m_hearsDeviceChanges =
        m_deviceChanges->registerInterfaceClass(QString::fromLatin1(devicemonitor::kPrinterInterfaceClass));
    if (m_watchUsb == 1 && m_hearsDeviceChanges)
        m_deviceChanges->registerInterfaceClass(QString::fromLatin1(devicemonitor::kUsbDeviceInterfaceClass));
    if (!m_hearsDeviceChanges)
        qWarning() << "install monitor: device changes will not be reported";
    // Starts the monitor when nobody has yet; the main window normally has.
    // Its readings are also where the device snapshots take the queues from.
    // A watched printer's queues coming and going are its printer interface
    // arriving and leaving: creating a queue raises no device event.
    const std::uint32_t mask = m_watchUsb == 1 ? PrinterAPI::win32printer::kChangeAddPrinter |
                                                     PrinterAPI::win32printer::kChangeDeletePrinter
                                               : PrinterAPI::win32printer::kChangeAddPrinter;
    PrinterAPI::PrinterMonitor::instance().start(handle(), mask);
    m_subscribed = true;
    if (m_watchUsb == 1 && installmonitor::rebuildTree(m_tree)) {
        m_knownPlugged = installmonitor::anyNodeStartsWith(m_tree, m_watchedUsbId);
        m_knownStatus = installmonitor::readUsbStatus(m_tree, m_watchedUsbId);
    }
    return true;
}

installmonitor::UsbStatus InstallMonitorBlkWindow::usbStatus(const QString& deviceId)
{
    installmonitor::rebuildTree(m_tree);
    return installmonitor::readUsbStatus(m_tree, deviceId);
}

std::intptr_t InstallMonitorBlkWindow::windowProc(const WindowMessage& message)
{
    switch (message.message) {
    case msg::kDeviceChange:
        return onDeviceChange(message);
    case msg::kPrinterChanged:
        onPrinterChanged(message);
        return 0;
    default:
        break;
    }
    return BaseBlkWinow::windowProc(message);
}

std::intptr_t InstallMonitorBlkWindow::onDeviceChange(const WindowMessage& message)
{
    ++m_deviceChangesHandled;
    if (m_watchUsb != 1)
        return kDeviceChangeHandled;
    if (message.wParam != msg::kDeviceArrival && message.wParam != msg::kDeviceRemoveComplete)
        return kDeviceChangeHandled;
    const auto header = std::static_pointer_cast<devicemonitor::DeviceBroadcastInterface>(message.payload);
    if (!header || header->deviceType != devicemonitor::kDeviceTypeInterface)
        return kDeviceChangeHandled;

    if (header->classGuid.compare(QLatin1String(devicemonitor::kPrinterInterfaceClass), Qt::CaseInsensitive) == 0) {
        notifyPrinterChanged();
    } else if (header->classGuid.compare(QLatin1String(devicemonitor::kUsbDeviceInterfaceClass),
                                         Qt::CaseInsensitive) == 0) {
        installmonitor::rebuildTree(m_tree);
        const bool present = installmonitor::anyNodeStartsWith(m_tree, m_watchedUsbId);
        if (message.wParam == msg::kDeviceArrival && present)
            notifyUsbChanged(true);
        else if (message.wParam == msg::kDeviceRemoveComplete && !present && m_knownPlugged.value_or(true))
            notifyUsbChanged(false);
    }
    return kDeviceChangeHandled;
}

void InstallMonitorBlkWindow::notifyPrinterChanged()
{
    installmonitor::rebuildTree(m_tree);
    tellStatus(installmonitor::readUsbStatus(m_tree, m_watchedUsbId));
}

void InstallMonitorBlkWindow::tellStatus(const installmonitor::UsbStatus& status)
{
    // One plug brings several printer-interface events (the interface, its lp
    // node, the driver binding) that change nothing after the first; a
    // printer elsewhere changes nothing the page shows.
    if (m_knownStatus && *m_knownStatus == status)
        return;
    m_knownStatus = status;
    callPage(QStringLiteral("notifyPrinterChangedByCpp"), QJsonArray{installmonitor::usbStatusObject(status)});
}

void InstallMonitorBlkWindow::notifyUsbChanged(bool plugged)
{
    m_knownPlugged = plugged;
    callPage(QStringLiteral("notifyUSBChangedByCpp"), QJsonArray{plugged});
}

void InstallMonitorBlkWindow::onPrinterChanged(const WindowMessage& message)
{
    // The change record goes with the message whatever happens here.
    const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
    if (!change)
        return;
    if (m_watchUsb == 1) {
        onQueueOfWatchedDevice(*change);
        return;
    }
    if (m_wirelessPortKey.isEmpty() || !(change->changed & PrinterAPI::win32printer::kChangeAddPrinter))
        return;
    // The change carries the queue's port; ask the scheduler only for one without.
    const std::optional<QString> port = change->portName.isEmpty() ? installmonitor::printerPort(change->printerName)
                                                                   : std::optional<QString>(change->portName);
    if (!port) {
        qWarning().noquote() << "install monitor: cannot read the added printer" << change->printerName.left(128);
        return;
    }
    if (port->contains(m_wirelessPortKey, Qt::CaseSensitive))
        callPage(QStringLiteral("notifyWirelessPrintQueue"),
                 QJsonArray{m_wirelessPortKey, m_wirelessValue1, m_wirelessValue2});
}

void InstallMonitorBlkWindow::onQueueOfWatchedDevice(const PrinterAPI::PrinterChange& change)
{
    namespace w = PrinterAPI::win32printer;
    if (!(change.changed & (w::kChangeAddPrinter | w::kChangeDeletePrinter)) || change.portName.isEmpty())
        return;
    // The snapshot takes its queues from the change monitor's reading that
    // found this change, so an added queue is below the device already and a
    // deleted one is gone.
    installmonitor::rebuildTree(m_tree);
    if (!installmonitor::queueNamesWatchedDevice(m_tree, m_watchedUsbId, change.portName))
        return;
    tellStatus(installmonitor::readUsbStatus(m_tree, m_watchedUsbId));
}

void InstallMonitorBlkWindow::bindUsbStatus()
{
    // Bindings are process-wide: the function finds the window it speaks for
    // when it is called, the newest monitor window still open.
    bindCommand(QStringLiteral("usbStatus"), 1, [](const QJsonArray& args) -> QJsonValue {
        InstallMonitorBlkWindow* newest = nullptr;
        for (webui::BaseBlkWinow* window : webui::WebWindows::instance().windows()) {
            if (auto* monitor = dynamic_cast<InstallMonitorBlkWindow*>(window))
                newest = monitor;
        }
        QString deviceId;
        if (args.at(0).isString())
            deviceId = args.at(0).toString().left(kMaxDeviceIdLength);
        else if (newest)
            deviceId = newest->m_watchedUsbId;
        else
            return installmonitor::usbStatusObject({});  // nothing to look for
        if (newest) {
            const installmonitor::UsbStatus status = newest->usbStatus(deviceId);
            // The page now knows the watched device's status.
            if (newest->m_watchUsb == 1 && deviceId == newest->m_watchedUsbId)
                newest->m_knownStatus = status;
            return installmonitor::usbStatusObject(status);
        }
        DeviceTree tree;
        installmonitor::rebuildTree(tree);
        return installmonitor::usbStatusObject(installmonitor::readUsbStatus(tree, deviceId));
    });
}
