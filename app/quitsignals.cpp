#include "app/quitsignals.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace app {

namespace {

int g_writeEnd = -1;

extern "C" void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    // The next one of these takes its default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signalNumber, &fallback, nullptr);
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0) {
        const ssize_t written = write(g_writeEnd, &byte, 1);
        (void)written;  // a full pipe already holds a request
    }
    errno = savedErrno;
}

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
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || g_writeEnd >= 0)
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("korvane: signal pipe");
        return false;
    }
    g_writeEnd = fds[1];
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, application);
    const int readEnd = fds[0];
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readEnd] {
        unsigned char byte = 0;
        int last = 0;
        while (read(readEnd, &byte, 1) == 1)
            last = byte;
        if (last != 0)
            closeEverything(last);
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (const int signalNumber : {SIGTERM, SIGINT})
        ok = sigaction(signalNumber, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace app
