// The main page's commands, bound by name with their declared argument
// counts. Each reads its arguments, calls one function of the subsystem that
// does the work and converts the result; the logic lives in the subsystems.

#include "mainwindow/pagecommands.h"

#include "discovery/addressprobe.h"
#include "discovery/installmonitor.h"
#include "discovery/usbreport.h"
#include "discovery/usbsetup.h"
#include "i18n/international.h"
#include "mainwindow/mainblkwindow.h"
#include "mainwindow/workerthread.h"
#include "online/downloaderobjmanager.h"
#include "online/user.h"
#include "printers/printerapi.h"
#include "printers/printercontrol.h"
#include "printers/printersetup.h"
#include "printers/win32printer.h"
#include "repair/repairapi.h"
#include "sysutil/launch.h"
#include "sysutil/paths.h"
#include "webui/desktopactions.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace pagecommands {

QString textArg(const QJsonArray& args, int index)
{
    return webui::jsargs::toText(webui::jsargs::at(args, index), 64 * 1024).value_or(QString());
}

}  // namespace pagecommands

using namespace pagecommands;

void MainBlkWindow::bindCommands()
{
    bindCommand(QStringLiteral("startScan"), 0, [this](const QJsonArray&) { return QJsonValue(startScan()); });
    bindCommand(QStringLiteral("interrupt"), 0, [this](const QJsonArray&) { return QJsonValue(interrupt()); });
    bindCommand(QStringLiteral("eMsg"), 5, [this](const QJsonArray& args) { return eMsg(args); });
    bindCommand(QStringLiteral("click"), 1, [this](const QJsonArray& args) { return click(args); });
    bindCommand(QStringLiteral("appType"), 0, [](const QJsonArray&) { return QJsonValue(QStringLiteral("printer")); });
    bindCommand(QStringLiteral("countryID"), 0,
                [](const QJsonArray&) { return QJsonValue(i18n::International::instance().countryId()); });
    bindCommand(QStringLiteral("isLogin"), 0,
                [](const QJsonArray&) { return QJsonValue(online::User::instance().isLogin()); });
    bindCommand(QStringLiteral("setUserData"), 0, [](const QJsonArray& args) {
        const QJsonValue text = webui::jsargs::at(args, 0);
        // Anything but text logs out, as unparsable text does.
        online::User::instance().setUserData(text.isString() ? text.toString() : QString());
        return undefined();
    });
    bindCommand(QStringLiteral("downDir"), 5,
                [](const QJsonArray& args) { return online::User::instance().downDir(args); });
    bindCommand(QStringLiteral("Down"), 3,
                [](const QJsonArray& args) { return QJsonValue(online::DownloaderObjManager::instance().Down(args)); });
    bindCommand(QStringLiteral("printerList"), 5, [](const QJsonArray&) { return QJsonValue(printerList()); });
    bindCommand(QStringLiteral("exec"), 1, [this](const QJsonArray& args) { return QJsonValue(exec(args)); });
    bindCommand(QStringLiteral("enumPrinters"), 1, [this](const QJsonArray& args) {
        enumPrinters(args);
        return undefined();
    });
    bindCommand(QStringLiteral("setUSBServiceFilter"), 1,
                [this](const QJsonArray& args) { return setUSBServiceFilter(args); });
    bindCommand(QStringLiteral("openInstallMonitor"), 1,
                [this](const QJsonArray& args) { return QJsonValue(openInstallMonitor(args)); });
    bindPrinterCommands();
    bindRepairCommands();
}

void MainBlkWindow::bindPrinterCommands()
{
    bindCommand(QStringLiteral("getPrinterInfo"), 0,
                [](const QJsonArray& args) { return QJsonValue(PrinterAPI::getPrinterInfo(textArg(args, 0))); });
    using NameServerOperation = int (*)(const QString&, const QString&);
    const std::pair<const char*, NameServerOperation> operations[] = {
        {"printTestPage", &PrinterAPI::printTestPage},
        {"deletePrinter", &PrinterAPI::deletePrinter},
        {"showPrintPreferencesPage", &PrinterAPI::showPrintPreferencesPage},
        {"showPrinterPropertiesPage", &PrinterAPI::showPrinterPropertiesPage},
        {"viewPrintQueue", &PrinterAPI::viewPrintQueue},
    };
    for (const auto& [name, operation] : operations) {
        bindCommand(QString::fromLatin1(name), 2, [operation = operation](const QJsonArray& args) {
            return QJsonValue(operation(textArg(args, 0), textArg(args, 1)));
        });
    }
    bindCommand(QStringLiteral("setDefaultPrinter"), 2, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::setDefaultPrinter(textArg(args, 0), textArg(args, 1)));
    });
    bindCommand(QStringLiteral("sharePrinter"), 2, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::sharePrinter(textArg(args, 0), textArg(args, 1),
                                                   webui::jsargs::toBool(webui::jsargs::at(args, 2))));
    });
    bindCommand(QStringLiteral("addPrinter"), 2, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::addPrinter(webui::jsargs::toHandle(webui::jsargs::at(args, 0)), intArg(args, 1)));
    });
    bindCommand(QStringLiteral("getManagerTool"), 1,
                [](const QJsonArray& args) { return QJsonValue(PrinterAPI::managerTool(intArg(args, 0))); });
    bindCommand(QStringLiteral("openManager"), 2, [](const QJsonArray& args) {
        if (args.size() < 2)
            return QJsonValue(qint64(PrinterAPI::win32printer::kOpenManagerMissingArgument));
        return QJsonValue(PrinterAPI::openManager(webui::jsargs::toHandle(args.at(0)), intArg(args, 1)));
    });
    bindQueueCommands();
    bindCommand(QStringLiteral("addNetworkPrinter"), 3, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::addNetworkPrinter(textArg(args, 0), textArg(args, 1), textArg(args, 2)));
    });
    bindCommand(QStringLiteral("probeNetworkPrinter"), 1, [](const QJsonArray& args) {
        return QJsonValue(discovery::probeNetworkPrinter(textArg(args, 0)));
    });
    bindCommand(QStringLiteral("addUsbPrinter"), 2, [](const QJsonArray& args) {
        return QJsonValue(discovery::addUsbPrinter(textArg(args, 0), textArg(args, 1)));
    });
    bindCommand(QStringLiteral("checkMMCExists"), 1,
                [](const QJsonArray& args) { return QJsonValue(PrinterAPI::checkMMCExists(intArg(args, 0))); });
    bindCommand(QStringLiteral("installDriverPackage"), 3, [this](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::installDriverPackage(handle(), textArg(args, 0), textArg(args, 1)));
    });
}

void MainBlkWindow::bindQueueCommands()
{
    using NameOperation = int (*)(const QString&);
    const std::pair<const char*, NameOperation> operations[] = {
        {"pausePrinter", &PrinterAPI::pausePrinter},
        {"resumePrinter", &PrinterAPI::resumePrinter},
    };
    for (const auto& [name, operation] : operations) {
        bindCommand(QString::fromLatin1(name), 1, [operation = operation](const QJsonArray& args) {
            return QJsonValue(operation(textArg(args, 0)));
        });
    }
    bindCommand(QStringLiteral("setPrinterAcceptJobs"), 2, [](const QJsonArray& args) {
        const QJsonValue accept = webui::jsargs::at(args, 1);
        if (!accept.isBool())
            return QJsonValue(int(win32::kInvalidParameter));
        return QJsonValue(PrinterAPI::setPrinterAcceptJobs(textArg(args, 0), accept.toBool()));
    });
    bindCommand(QStringLiteral("getPrinterJobs"), 1,
                [](const QJsonArray& args) { return QJsonValue(PrinterAPI::getPrinterJobs(textArg(args, 0))); });
    bindCommand(QStringLiteral("cancelPrinterJob"), 2, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::cancelPrinterJob(textArg(args, 0), webui::jsargs::at(args, 1)));
    });
    bindCommand(QStringLiteral("releasePrinterJob"), 2, [](const QJsonArray& args) {
        return QJsonValue(PrinterAPI::releasePrinterJob(textArg(args, 0), webui::jsargs::at(args, 1)));
    });
    bindCommand(QStringLiteral("getPrinterSupplies"), 1,
                [](const QJsonArray& args) { return QJsonValue(PrinterAPI::getPrinterSupplies(textArg(args, 0))); });
    bindCommand(QStringLiteral("setPrinterDescription"), 3, [](const QJsonArray& args) {
        // Both texts must be given: a missing one would clear what is there.
        const QJsonValue description = webui::jsargs::at(args, 1);
        const QJsonValue location = webui::jsargs::at(args, 2);
        if (!description.isString() || !location.isString())
            return QJsonValue(int(win32::kInvalidParameter));
        return QJsonValue(
            PrinterAPI::setPrinterDescription(textArg(args, 0), description.toString(), location.toString()));
    });
}

void MainBlkWindow::bindRepairCommands()
{
    bindCommand(QStringLiteral("checkPrinterSpool"), 0,
                [](const QJsonArray&) { return QJsonValue(repair::checkPrinterSpool()); });
    bindCommand(QStringLiteral("checkOcrFont"), 0, [](const QJsonArray&) { return QJsonValue(repair::checkOcrFont()); });
    bindCommand(QStringLiteral("restartPrinterSpool"), 0,
                [](const QJsonArray&) { return QJsonValue(int(repair::restartPrinterSpool())); });
    bindCommand(QStringLiteral("enableFirewall"), 0,
                [](const QJsonArray&) { return QJsonValue(int(repair::enableFirewall())); });
    bindCommand(QStringLiteral("installOcrFont"), 0,
                [](const QJsonArray&) { return QJsonValue(int(repair::installOcrFont())); });
    bindCommand(QStringLiteral("resetSpool_firewall_queue"), 0, [this](const QJsonArray&) {
        return QJsonValue(int(repair::resetSpool_firewall_queue(handle())));
    });
    bindCommand(QStringLiteral("checkFirewall"), 0,
                [](const QJsonArray& args) { return QJsonValue(repair::checkFirewall(intArg(args, 0))); });
    bindCommand(QStringLiteral("checkPrinterSharing"), 1, [](const QJsonArray& args) {
        return QJsonValue(repair::checkPrinterSharing(textArg(args, 0)));
    });
    bindCommand(QStringLiteral("checkPrinterQueue"), 1, [](const QJsonArray& args) {
        return QJsonValue(qint64(repair::checkPrinterQueue(textArg(args, 0))));
    });
    bindCommand(QStringLiteral("enablePrinterSharing"), 1, [](const QJsonArray& args) {
        return QJsonValue(int(repair::enablePrinterSharing(textArg(args, 0))));
    });
    bindCommand(QStringLiteral("cleanPrinterQueue"), 1, [](const QJsonArray& args) {
        repair::cleanPrinterQueue(intArg(args, 0));
        return undefined();
    });
    bindCommand(QStringLiteral("cleanPrinterQueueOf"), 1, [](const QJsonArray& args) {
        return QJsonValue(int(repair::cleanPrinterQueueOf(textArg(args, 0))));
    });
}

bool MainBlkWindow::exec(const QJsonArray& args)
{
    const QString file = textArg(args, 0);
    const int mode = intArg(args, 1);
    if (file.isEmpty() || (mode != 0 && mode != 1))
        return false;
    const QFileInfo info(file);
    webui::DesktopActions& desktop = webui::desktopActions();
    if (mode == 1) {
        // "runas": the program runs with administrator rights through polkit.
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        if (pkexec.isEmpty() || !info.exists())
            return false;
        return desktop.startProgram({pkexec, info.absoluteFilePath()}, info.absolutePath()) == win32::kSuccess;
    }
    // The default verb: a program is started, anything else opened with the
    // application the desktop associates with it.
    if (info.isFile() && info.isExecutable())
        return desktop.startProgram({info.absoluteFilePath()}, info.absolutePath()) == win32::kSuccess;
    if (info.exists())
        return desktop.openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    const QUrl url(file, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")
                           && scheme != QLatin1String("mailto")))
        return false;
    return desktop.openUrl(url);
}

bool MainBlkWindow::openInstallMonitor(const QJsonArray& args)
{
    const QJsonValue id = webui::jsargs::at(args, 0);
    if (!id.isString() || !InstallMonitorBlkWindow::isWatchableUsbId(id.toString()))
        return false;
    return openInstallMonitor(id.toString());
}

void MainBlkWindow::enumPrinters(const QJsonArray& args)
{
    startWorker([](int, std::uintptr_t selector) { return PrinterAPI::enumInstalledPrinters(int(selector)); }, 1,
                std::uintptr_t(std::intptr_t(intArg(args, 0))), &MainBlkWindow::printersInfoResults);
}

void MainBlkWindow::notifyPrinterChange(const webui::WindowMessage& message)
{
    const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
    if (change)
        callPage(QStringLiteral("notifyPrinterChangeByCpp"), QJsonArray{PrinterAPI::printerChangeToPageObject(*change)});
}

int MainBlkWindow::installedPrinterCount() const
{
    return PrinterAPI::installedPrinterCount();
}
