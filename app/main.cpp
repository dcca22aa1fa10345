// Korvane's entry point: prepares the process, opens the main window and runs
// the event loop until the window closes.

#include "app/crashhandoff.h"
#include "app/startup.h"
#include "i18n/international.h"
#include "sysutil/paths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextCodec>
#include <QWidget>
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

    QApplication application(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    i18n::International::instance().setup();

    // Placeholder until the main window lands: a plain frameless window.
    QWidget window;
    window.setWindowTitle(QStringLiteral("标题"));
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setStyleSheet(QStringLiteral("background: rgb(170,170,170);"));
    window.resize(1000, 600);
    window.show();
    return application.exec();
}
