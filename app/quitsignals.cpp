#include "app/quitsignals.h"

#include "sysutil/terminationsignals.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <vector>

namespace app {

namespace {

void closeEverything(int signalNumber)
{
    std::fprintf(stderr, "korvane: %s received, closing\n", signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
    // As a click on the close box: every window hears it, the main window
    // ends the loop; the quit below covers windows that only hide.
    // (QApplication::closeAllWindows stops at the first window that stays.)
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QPointer<QWidget>& window : std::vector<QPointer<QWidget>>(windows.begin(), windows.end())) {
        if (window && window->isVisible())
            window->close();
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace

bool quitOnTerminationSignals()
{
    if (!QCoreApplication::instance())
        return false;
    return sysutil::onTerminationSignals(closeEverything);
}

}  // namespace app
