// korvanectl search [--usb-only|--network-only] [--timeout S] [--json]: one
// printer search through the window's search thread. Printers are printed as
// they are found (text) or in one document at the end (--json); a progress
// line goes to a terminal only.

#include "devicetree/devicetree.h"
#include "discovery/netprinterinfo.h"
#include "discovery/printersearcherthread.h"
#include "discovery/usbprinterinfo.h"
#include "discovery/usbreport.h"
#include "repair/firewallstate.h"
#include "sysutil/terminationsignals.h"
#include "sysutil/textconv.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"
#include "tools/korvanectl/usbdevices.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

namespace korvanectl {

namespace {

QString untrusted(const std::string& bytes)
{
    return sysutil::fromUntrustedBytes(QByteArray::fromStdString(bytes));
}

QJsonObject usbObject(const USBPrinterInfo& printer)
{
    return QJsonDocument::fromJson(usbPrinterJson(printer).toUtf8()).object();
}

QJsonObject networkObject(const NetPrinterInfo& printer)
{
    QJsonObject object;
    object.insert(QStringLiteral("ip"), QString::fromStdString(printer.ip));
    object.insert(QStringLiteral("mfg"), untrusted(printer.mfg));
    object.insert(QStringLiteral("mdl"), untrusted(printer.mdl));
    object.insert(QStringLiteral("deviceId"), untrusted(printer.deviceId));
    const QJsonObject details = QJsonDocument::fromJson(QByteArray::fromStdString(printer.details)).object();
    object.insert(QStringLiteral("details"), details);
    return object;
}

class ProgressLine {
public:
    ProgressLine()
        : m_shown(outputIsTerminal() && isatty(STDERR_FILENO) == 1)
    {
    }
    void show(int current, int total)
    {
        if (!m_shown || total <= 0)
            return;
        std::fprintf(stderr, "\rSearching... %3d%%", std::min(100, current * 100 / total));
        std::fflush(stderr);
        m_visible = true;
    }
    // Before a printer line and at the end: the progress line goes away.
    void clear()
    {
        if (!m_visible)
            return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_visible = false;
    }

private:
    bool m_shown;
    bool m_visible = false;
};

} // namespace

int runSearch(const Arguments& arguments)
{
    PrinterSearcherThread::registerMetaTypes();
    auto thread = std::make_unique<PrinterSearcherThread>();
    thread->setScope(arguments.scope);
    thread->setMdnsBlockedBy([]() -> std::string {
        return repair::firewallAllows(repair::FirewallGroup::NetworkDiscovery) ? std::string()
                                                                               : std::string("the firewall");
    });
    QJsonArray usb;
    QJsonArray network;
    ProgressLine progress;
    QObject context;
    QObject::connect(
        thread.get(), &PrinterSearcherThread::progress, &context,
        [&](int current, int total, int, int, int) { progress.show(current, total); }, Qt::QueuedConnection);
    QObject::connect(
        thread.get(), &PrinterSearcherThread::usb1, &context,
        [&](std::vector<USBPrinterInfo> printers) {
            for (const USBPrinterInfo& printer : printers) {
                usb.append(usbObject(printer));
                if (arguments.json)
                    continue;
                progress.clear();
                const QString name = printer.friendlyName.isEmpty() ? printer.deviceDesc : printer.friendlyName;
                printLine(QStringLiteral("usb      %1  %2  %3")
                              .arg(terminalSafe(printer.mfg.isEmpty() ? QStringLiteral("-") : printer.mfg),
                                  terminalSafe(name), terminalSafe(printer.hardwareids.value(0))));
            }
        },
        Qt::QueuedConnection);
    // The second USB pass: the devices the page would list that the first
    // pass did not report (filed under the same keys as the page files them).
    QJsonArray usbDevices;
    QSet<QString> usbKeys;
    QObject::connect(
        thread.get(), &PrinterSearcherThread::usb1, &context,
        [&](std::vector<USBPrinterInfo> printers) {
            for (const USBPrinterInfo& printer : printers)
                usbKeys.insert(usbRecordKey(printer));
        },
        Qt::QueuedConnection);
    QObject::connect(
        thread.get(), &PrinterSearcherThread::usb2, &context,
        [&](const DeviceTree* tree, std::vector<DeviceItem*>* items) {
            // Both are ours from here on.
            std::unique_ptr<const DeviceTree> ownedTree(tree);
            std::unique_ptr<std::vector<DeviceItem*>> ownedItems(items);
            if (!items)
                return;
            const QStringList filter = defaultUsbServiceFilter();
            for (DeviceItem* item : *items) {
                const std::optional<QJsonArray> nodes = usbDeviceReport(item, filter);
                if (!nodes)
                    continue;
                const std::optional<QJsonObject> entry = usbDeviceEntry(*nodes);
                const QString key = usbDeviceKey(*nodes);
                if (!entry || usbKeys.contains(key))
                    continue;
                usbKeys.insert(key);
                usbDevices.append(*entry);
                if (arguments.json)
                    continue;
                progress.clear();
                const QString maker = entry->value(QStringLiteral("maker")).toString();
                const QString pair = entry->value(QStringLiteral("vidPid")).toString();
                QStringList services;
                for (const QJsonValue& service : entry->value(QStringLiteral("services")).toArray())
                    services << service.toString();
                printLine(QStringLiteral("usb-dev  %1  %2  %3  %4")
                              .arg(terminalSafe(maker.isEmpty() ? QStringLiteral("-") : maker),
                                  terminalSafe(entry->value(QStringLiteral("name")).toString()),
                                  pair.isEmpty() ? QStringLiteral("-") : pair,
                                  services.isEmpty() ? QStringLiteral("no driver")
                                                     : QStringLiteral("driver ") + terminalSafe(services.join(','))));
            }
        },
        Qt::QueuedConnection);
    QObject::connect(
        thread.get(), &PrinterSearcherThread::netPrinter, &context,
        [&](NetPrinterInfo printer) {
            const QJsonObject object = networkObject(printer);
            network.append(object);
            if (arguments.json)
                return;
            progress.clear();
            const QString mfg = object.value(QStringLiteral("mfg")).toString();
            printLine(QStringLiteral("network  %1  %2  %3")
                          .arg(object.value(QStringLiteral("ip")).toString(),
                              terminalSafe(mfg.isEmpty() ? QStringLiteral("-") : mfg),
                              terminalSafe(object.value(QStringLiteral("mdl")).toString()))
                          .trimmed());
        },
        Qt::QueuedConnection);
    QObject::connect(
        thread.get(), &PrinterSearcherThread::finish, &context, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    bool timedOut = false;
    // Ctrl+C or SIGTERM: the search stops at its next check and what it found
    // so far is printed; a second one ends the process at once. (The
    // reaction stays installed after this function: it holds nothing of it.)
    const auto interrupted = std::make_shared<bool>(false);
    QPointer<PrinterSearcherThread> searching(thread.get());
    sysutil::onTerminationSignals([interrupted, searching](int) {
        *interrupted = true;
        if (searching)
            searching->requestInterrupt();
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &context, [&] {
        timedOut = true;
        thread->requestInterrupt();
    });
    if (!thread->claim()) {
        printError(QStringLiteral("the printer search could not start"));
        return kExitUsage;
    }
    if (arguments.timeoutSeconds > 0)
        limit.start(arguments.timeoutSeconds * 1000);
    thread->start();
    QCoreApplication::exec();
    thread->wait();
    // Reports queued before finish have been delivered; nothing comes after.
    progress.clear();
    const int found = usb.size() + network.size() + usbDevices.size();
    if (arguments.json) {
        QJsonObject document;
        document.insert(QStringLiteral("usb"), usb);
        document.insert(QStringLiteral("network"), network);
        document.insert(QStringLiteral("usbDevices"), usbDevices);
        document.insert(QStringLiteral("interrupted"), timedOut || *interrupted);
        printJson(document);
    } else {
        if (*interrupted)
            printError(QStringLiteral("the search was interrupted; these are the printers found until then"));
        printLine(
            found == 0 ? QStringLiteral("No printers found.") : QStringLiteral("%1 printer(s) found.").arg(found));
    }
    return found > 0 ? kExitOk : 1;
}

} // namespace korvanectl
