// Korvane's entry point: prepares the process, opens the main window and runs
// the event loop until the window closes.

#include "app/crashhandoff.h"
#include "app/quitsignals.h"
#include "app/startup.h"
#include "sysutil/paths.h"
#include "webui/engineswitches.h"
#include "webui/viewfactory.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

int main(int argc, char* argv[])
{
    app::installCrashHandoff(sysutil::siblingProgram(QStringLiteral("dumper")));
    app::setApplicationNames();

    if (!app::haveDisplay()) {
        std::fputs("korvane: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it on a desktop, or headless "
                   "with: xvfb-run -a scripts/run\n",
                   stderr);
        return 1;
    }

    // The private page scheme, shared GL contexts, the sandbox rule and the
    // engine switches must all be settled before the application object
    // exists.
    webui::dropUnsafeEngineSwitches(argc, argv);
    webui::prepareWebEngine();
    QApplication application(argc, argv);

    const QString missing = app::startServices();
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "korvane: the web engine cannot start: %s is missing\n", qPrintable(missing));
        QMessageBox::critical(nullptr, missing, QStringLiteral("wke api not found"));
        return 0;
    }
    if (!app::openMainWindow())
        return 0;
    app::quitOnTerminationSignals();

    const int code = application.exec();
    app::stopServices();
    return code;
}
