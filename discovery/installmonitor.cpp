#include "discovery/installmonitor.h"

#include "discovery/devicemonitor.h"
#include "discovery/installmonitorqueues.h"
#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "webui/webwindows.h"

#include <QDebug>

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
    if (m_watchUsb == 1 && installmonitor::rebuildTree(m_tree)) {
        m_knownPlugged = installmonitor::anyNodeStartsWith(m_tree, m_watchedUsbId);
        m_knownConnected = installmonitor::readUsbStatus(m_tree, m_watchedUsbId).connected;
    }
    // Starts the monitor when nobody has yet; the main window normally has.
    PrinterAPI::PrinterMonitor::instance().start(handle(), PrinterAPI::win32printer::kChangeAddPrinter);
    m_subscribed = true;
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
        onPrinterAdded(message);
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
    const installmonitor::UsbStatus status = usbStatus();
    // A printer elsewhere changes nothing the page shows while the watched
    // device is absent; the watched one's own removal is told once.
    if (!status.connected && !m_knownConnected.value_or(true))
        return;
    m_knownConnected = status.connected;
    // Through a script, not callPage: the page gets the keys in their order.
    if (webui::WebView* page = view()) {
        page->runTrustedScript(installmonitor::pageCallWithJson(QStringLiteral("notifyPrinterChangedByCpp"),
                                                                installmonitor::usbStatusJson(status)));
    }
}

void InstallMonitorBlkWindow::notifyUsbChanged(bool plugged)
{
    m_knownPlugged = plugged;
    callPage(QStringLiteral("notifyUSBChangedByCpp"), QJsonArray{plugged});
}

void InstallMonitorBlkWindow::onPrinterAdded(const WindowMessage& message)
{
    // The change record goes with the message whatever happens here.
    const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
    if (m_watchUsb != 0 || !change || m_wirelessPortKey.isEmpty())
        return;
    const std::optional<QString> port = installmonitor::printerPort(change->printerName);
    if (!port) {
        qWarning().noquote() << "install monitor: cannot read the added printer" << change->printerName.left(128);
        return;
    }
    if (port->contains(m_wirelessPortKey, Qt::CaseSensitive))
        callPage(QStringLiteral("notifyWirelessPrintQueue"),
                 QJsonArray{m_wirelessPortKey, m_wirelessValue1, m_wirelessValue2});
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
        if (newest)
            return installmonitor::usbStatusObject(newest->usbStatus(deviceId));
        DeviceTree tree;
        installmonitor::rebuildTree(tree);
        return installmonitor::usbStatusObject(installmonitor::readUsbStatus(tree, deviceId));
    });
}
