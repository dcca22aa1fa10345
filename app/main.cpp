// Korvane's entry point: prepares the process, opens the main window and runs
// the event loop until the window closes.

#include "app/crashhandoff.h"
#include "app/startup.h"
#include "app/startupwiring.h"
#include "i18n/international.h"
#include "mainwindow/mainblkwindow.h"
#include "online/downloaderobjmanager.h"
#include "online/user.h"
#include "printers/printerapi.h"
#include "sysutil/paths.h"
#include "webui/localpages.h"
#include "webui/viewfactory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTextCodec>
#include <cstdio>

namespace app {

bool haveDisplay()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(QLatin1String("offscreen")) || platform.startsWith(QLatin1String("minimal")))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace app

int main(int argc, char* argv[])
{
    app::installCrashHandoff(sysutil::siblingProgram(QStringLiteral("dumper")));

    QCoreApplication::setApplicationVersion(QString::fromLatin1(app::kVersion));
    QCoreApplication::setOrganizationName(QString::fromLatin1(app::kOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(app::kApplicationName));

    if (!app::haveDisplay()) {
        std::fputs("korvane: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it on a desktop, or headless "
                   "with: xvfb-run -a scripts/run\n",
                   stderr);
        return 1;
    }

    // The private page scheme, shared GL contexts and the sandbox rule must
    // all be settled before the application object exists.
    webui::prepareWebEngine();
    QApplication application(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    i18n::International::instance().setup();

    const QString missing = webui::webEngineProblem();
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "korvane: the web engine cannot start: %s is missing\n", qPrintable(missing));
        QMessageBox::critical(nullptr, missing,
                              QStringLiteral("wke api not found\n")
                                  + QCoreApplication::translate("app", "The web engine could not start."));
        return 0;
    }

    online::User::instance().start();
    online::DownloaderObjManager::instance();
    app::registerWindowsWithDownloads();
    app::askSchedulerPasswordsInDialog();

    webui::pages::setBaseUrl(MainBlkWindow::pageBaseUrl());
    auto* window = new MainBlkWindow();
    if (!window->createMainWindow()) {
        std::fputs("korvane: the main window could not be created\n", stderr);
        delete window;
        return 0;
    }
    // Printers added, changed or deleted reach the main page.
    PrinterAPI::PrinterMonitor::instance().start(window->handle(), 0x7);

    const int code = application.exec();
    PrinterAPI::PrinterMonitor::instance().stop();
    // The window deletes itself when closed; whatever is left goes before the
    // engine does.
    webui::shutdownWebUi();
    return code;
}
