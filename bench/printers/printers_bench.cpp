// How fast the installed printers are listed, and how soon a change made with
// lpadmin reaches a subscribed window as message 2128.
//
//   printers_bench [runs]
//
// With CUPS_SERVER set it uses that scheduler; otherwise it starts the test
// bed in a temporary folder (needs root) and stops it at the end. It adds 50
// driver queues named bench_NN and removes them again.

#include "printers/printerapi.h"
#include "webui/windowmessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kQueues = 50;
constexpr webui::WindowHandle kWindow = 0xBE7C;

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

class Window : public webui::WindowMessageTarget {
public:
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        if (message.message == webui::msg::kPrinterChanged) {
            const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
            if (change->printerName == watched)
                arrived = true;
        }
        return 0;
    }
    QString watched;
    bool arrived = false;
};

bool waitUntil(const bool& flag, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!flag && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return flag;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    QTemporaryDir bedDir(QDir::tempPath() + "/korvane-bench-XXXXXX");
    const bool ownBed = qEnvironmentVariableIsEmpty("CUPS_SERVER");
    if (ownBed) {
        if (!run(KORVANE_CUPS_BED_SCRIPT, {"up", bedDir.path()})) {
            std::fprintf(stderr, "cannot start the test bed (root needed)\n");
            return 1;
        }
        qputenv("CUPS_SERVER", (bedDir.path() + "/cups.sock").toUtf8());
    }
    const QString ppd = bedDir.path() + "/ppd-cache/laserjet.ppd";
    for (int i = 0; i < kQueues; ++i) {
        QStringList args{"-p", QString("bench_%1").arg(i, 2, 10, QChar('0')), "-E", "-v", "file:///dev/null"};
        if (ownBed)
            args << "-P" << ppd;
        run("lpadmin", args);
    }
    const int total = PrinterAPI::installedPrinterCount();

    std::vector<double> listing;
    QString text;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        text = PrinterAPI::enumInstalledPrinters(0);
        listing.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("listing %d queues (all fields, JSON): median %.2f ms, worst %.2f ms over %d runs, %lld bytes\n",
                total, median(listing), *std::max_element(listing.begin(), listing.end()), runs,
                static_cast<long long>(text.toUtf8().size()));

    Window window;
    webui::WindowRegistry::instance().add(kWindow, &window);
    PrinterAPI::PrinterMonitor::instance().start(kWindow, 7);
    QElapsedTimer warmup;
    warmup.start();
    while (PrinterAPI::PrinterMonitor::instance().notificationMethod().isEmpty() && warmup.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    waitUntil(window.arrived, 500);  // let the first reading settle
    std::vector<double> latency;
    int missed = 0;
    for (int i = 0; i < runs; ++i) {
        window.watched = QString("bench_%1").arg(i % kQueues, 2, 10, QChar('0'));
        window.arrived = false;
        QElapsedTimer timer;
        timer.start();
        run("lpadmin", {"-p", window.watched, "-L", QString("room %1").arg(i)});
        if (waitUntil(window.arrived, 5000))
            latency.push_back(timer.nsecsElapsed() / 1e6);
        else
            ++missed;
    }
    std::printf("lpadmin change -> 2128 posted and received (%s): median %.1f ms, worst %.1f ms over %d runs, %d missed\n",
                qPrintable(PrinterAPI::PrinterMonitor::instance().notificationMethod()), median(latency),
                latency.empty() ? 0.0 : *std::max_element(latency.begin(), latency.end()), int(latency.size()),
                missed);
    PrinterAPI::PrinterMonitor::instance().stop();
    webui::WindowRegistry::instance().remove(kWindow);

    for (int i = 0; i < kQueues; ++i)
        run("lpadmin", {"-x", QString("bench_%1").arg(i, 2, 10, QChar('0'))});
    if (ownBed)
        run(KORVANE_CUPS_BED_SCRIPT, {"down", bedDir.path()});
    return 0;
}
