#include "app/startup.h"

#include "app/startupwiring.h"
#include "discovery/installmonitorqueues.h"
#include "i18n/international.h"
#include "mainwindow/mainblkwindow.h"
#include "online/downloaderobjmanager.h"
#include "online/user.h"
#include "printers/printerapi.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"

#include <QCoreApplication>
#include <QTextCodec>
#include <cstdio>

namespace app {

namespace {

// The printers added, changed and deleted, as the monitor's mask has them.
constexpr std::uint32_t kEveryPrinterChange = 0x7;

}  // namespace

bool haveDisplay()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(QLatin1String("offscreen")) || platform.startsWith(QLatin1String("minimal")))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void setApplicationNames()
{
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

QString startServices()
{
    static bool started = false;
    if (!started) {
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
        i18n::International::instance().setup();
    }
    const QString missing = webui::webEngineProblem();
    if (!missing.isEmpty() || started)
        return missing;
    started = true;
    online::User::instance().start();
    // What a killed or crashed run left half-downloaded goes now; the folder
    // is not created for it.
    online::DownloaderObjManager::instance().removeLeftovers(online::User::instance().downloadFolderPath());
    registerWindowsWithDownloads();
    askSchedulerPasswordsInDialog();
    // A USB printer that a CUPS queue drives counts as installed everywhere
    // the device tree is read: the search, "printerList", the install monitor.
    installmonitor::useCupsPrintQueues();
    return QString();
}

MainBlkWindow* openMainWindow()
{
    webui::pages::setBaseUrl(MainBlkWindow::pageBaseUrl());
    auto* window = new MainBlkWindow();
    if (!window->createMainWindow()) {
        std::fputs("korvane: the main window could not be created\n", stderr);
        delete window;
        return nullptr;
    }
    PrinterAPI::PrinterMonitor::instance().start(window->handle(), kEveryPrinterChange);
    return window;
}

void stopServices()
{
    PrinterAPI::PrinterMonitor::instance().stop();
    // The window deletes itself when closed; whatever is left goes before the
    // engine does.
    webui::shutdownWebUi();
}

}  // namespace app
