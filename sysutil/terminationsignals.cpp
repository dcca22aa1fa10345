#include "sysutil/terminationsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace sysutil {

namespace {

int g_writeEnd = -1;

extern "C" void onTerminationSignal(int signalNumber)
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

}  // namespace

bool onTerminationSignals(std::function<void(int)> reaction)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || g_writeEnd >= 0 || !reaction)
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("signal pipe");
        return false;
    }
    g_writeEnd = fds[1];
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, application);
    const int readEnd = fds[0];
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readEnd, reaction] {
        // Signals that came together are one request.
        unsigned char byte = 0;
        int last = 0;
        while (read(readEnd, &byte, 1) == 1)
            last = byte;
        if (last != 0)
            reaction(last);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (const int signalNumber : {SIGTERM, SIGINT})
        ok = sigaction(signalNumber, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace sysutil
