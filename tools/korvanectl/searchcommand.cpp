// korvanectl search [--usb-only|--network-only] [--timeout S] [--json]: one
// printer search through the window's search thread. Printers are printed as
// they are found (text) or in one document at the end (--json); a progress
// line goes to a terminal only.

#include "devicetree/devicetree.h"
#include "discovery/netprinterinfo.h"
#include "discovery/printersearcherthread.h"
#include "discovery/usbprinterinfo.h"
#include "repair/firewallstate.h"
#include "sysutil/textconv.h"
#include "tools/korvanectl/commands.h"
#include "tools/korvanectl/output.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
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
    QObject::connect(
        thread.get(), &PrinterSearcherThread::usb2, &context,
        [](const DeviceTree* tree, std::vector<DeviceItem*>* items) {
            // Ours from here on; the USB printers came with usb1.
            delete items;
            delete tree;
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
    const int found = usb.size() + network.size();
    if (arguments.json) {
        QJsonObject document;
        document.insert(QStringLiteral("usb"), usb);
        document.insert(QStringLiteral("network"), network);
        document.insert(QStringLiteral("interrupted"), timedOut);
        printJson(document);
    } else {
        printLine(
            found == 0 ? QStringLiteral("No printers found.") : QStringLiteral("%1 printer(s) found.").arg(found));
    }
    return found > 0 ? kExitOk : 1;
}

} // namespace korvanectl
