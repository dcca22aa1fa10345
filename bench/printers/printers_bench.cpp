// What the installed printers cost to list and to watch, next to what a user
// would run instead:
//   - the listing (all fields, JSON) of 500 queues in process, against
//     `lpstat -h SOCKET -l -p -v` started as a process, same scheduler, same run;
//   - the CPU the change monitor takes with 500 queues when nothing happens,
//     over 60 s, with D-Bus notifications and with a pull subscription;
//   - how long a change made at the scheduler takes to reach a subscribed
//     window as message 2128, both ways, with 16 and with 500 queues.
//
//   printers_bench [runs] [idle-seconds]
//
// Listing of 500 queues, 2026-12-08, 15 runs on the 2-core development
// machine: 41.6 ms in process against lpstat's 243.3 ms in the same run
// (172.6 ms against 216.4 ms before answers were read in blocks).
//
// Run by hand, as root: it starts a private system bus and a private
// scheduler whose D-Bus notifier uses that bus (the test beds), in a
// temporary folder, and stops both at the end. Nothing touches the machine's
// own scheduler or bus.

#include "bench/printers/benchtools.h"
#include "printers/printerapi.h"
#include "webui/windowmessage.h"


#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cups/cups.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr webui::WindowHandle kWindow = 0xBE7C;

using benchtools::median;
using benchtools::run;

double worst(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double processCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// user + system time of another process, in seconds.
double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

class Window : public webui::WindowMessageTarget {
public:
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        if (message.message == webui::msg::kPrinterChanged) {
            const auto change = std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload);
            ++received;
            if (change->printerName == watched)
                arrived = true;
        }
        return 0;
    }
    QString watched;
    bool arrived = false;
    int received = 0;
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

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString benchQueue(int i)
{
    return QStringLiteral("bench_%1").arg(i, 3, 10, QLatin1Char('0'));
}

// Sets a queue's location with one IPP request, as any administration tool
// would; returns when the scheduler has answered.
bool setLocation(const QString& queue, const QString& location)
{
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
        queue.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, location.toUtf8().constData());
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

class Bench {
public:
    Bench(QString bed, QString bedDir, QString bus)
        : m_bed(std::move(bed))
        , m_dir(std::move(bedDir))
        , m_bus(std::move(bus))
    {
        webui::WindowRegistry::instance().add(kWindow, &m_window);
    }
    ~Bench() { webui::WindowRegistry::instance().remove(kWindow); }

    // Queues besides the bed's eight, written into the scheduler's
    // configuration while it is stopped (lpadmin would take minutes for 500).
    bool growTo(int total)
    {
        const int have = PrinterAPI::installedPrinterCount();
        if (have >= total)
            return true;
        if (!run(m_bed, { "stop", m_dir }))
            return false;
        QFile conf(m_dir + "/etc/printers.conf");
        if (!conf.open(QIODevice::Append))
            return false;
        for (int i = m_added; i < m_added + (total - have); ++i) {
            const QString name = benchQueue(i);
            conf.write(QStringLiteral("<Printer %1>\nPrinterId %2\nInfo Bench queue %3\nLocation Floor %4\n"
                                      "MakeModel HP LaserJet Series PCL 4/5\nDeviceURI file:///dev/null\n"
                                      "State Idle\nType 12372\nAccepting Yes\nShared No\nJobSheets none none\n"
                                      "OpPolicy permissive\nErrorPolicy abort-job\n</Printer>\n")
                           .arg(name)
                           .arg(1000 + i)
                           .arg(i)
                           .arg(i % 7)
                           .toUtf8());
            QFile::copy(m_dir + "/etc/ppd/laser.ppd", m_dir + "/etc/ppd/" + name + ".ppd");
        }
        conf.close();
        m_added += total - have;
        // The bed gives a scheduler ten seconds to answer; loading hundreds of
        // drivers may take longer on a busy machine.
        run(m_bed, {"start", m_dir});
        QElapsedTimer clock;
        clock.start();
        while (!PrinterAPI::schedulerAnswers() && clock.elapsed() < 300000)
            QThread::msleep(500);
        const int now = PrinterAPI::installedPrinterCount();
        if (now != total)
            std::printf("the scheduler has %d queues, not %d\n", now, total);
        return now == total;
    }

    void listingAgainstLpstat(int runs)
    {
        const int total = PrinterAPI::installedPrinterCount();
        std::vector<double> ours, lpstat;
        QString text;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            text = PrinterAPI::enumInstalledPrinters(0);
            ours.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            run("lpstat", { "-h", qEnvironmentVariable("CUPS_SERVER"), "-l", "-p", "-v" });
            lpstat.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("listing %d queues (all fields, JSON), in process: median %.1f ms, worst %.1f ms, %lld bytes\n",
            total, median(ours), worst(ours), static_cast<long long>(text.toUtf8().size()));
        std::printf("lpstat -h SOCKET -l -p -v, process started each time: median %.1f ms, worst %.1f ms "
                    "(%d runs each, interleaved)\n",
            median(lpstat), worst(lpstat), runs);
    }

    // Starts the monitor in the mode ("dbus" or "ippget") and waits for its
    // first reading.
    bool startMonitor(const char* mode)
    {
        qputenv("KORVANE_PRINTER_NOTIFY", mode);
        PrinterAPI::PrinterMonitor::instance().start(kWindow, 7);
        QElapsedTimer clock;
        clock.start();
        while (PrinterAPI::PrinterMonitor::instance().notificationMethod() != QLatin1String(mode)
            && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        idle(1500);
        return PrinterAPI::PrinterMonitor::instance().notificationMethod() == QLatin1String(mode);
    }

    void stopMonitor()
    {
        PrinterAPI::PrinterMonitor::instance().unsubscribe(kWindow);
        PrinterAPI::PrinterMonitor::instance().stop();
    }

    void idleCpu(const char* mode, int seconds)
    {
        if (!startMonitor(mode)) {
            std::printf("idle CPU (%s): the monitor did not start in that mode\n", mode);
            stopMonitor();
            return;
        }
        const qint64 cupsd = QString::fromUtf8(readPid()).trimmed().toLongLong();
        m_window.received = 0;
        const double before = processCpuSeconds();
        const double cupsdBefore = cpuSecondsOf(cupsd);
        QElapsedTimer wall;
        wall.start();
        idle(seconds * 1000);
        const double used = processCpuSeconds() - before;
        const double cupsdUsed = cpuSecondsOf(cupsd) - cupsdBefore;
        const double elapsed = wall.nsecsElapsed() / 1e9;
        std::printf("idle CPU of the monitor, %d queues, %s, %.0f s: %.3f %% of a core "
                    "(%.3f s CPU; the scheduler meanwhile %.3f %%; %d messages)\n",
            PrinterAPI::installedPrinterCount(), mode, elapsed, 100.0 * used / elapsed, used,
            100.0 * cupsdUsed / elapsed, m_window.received);
        stopMonitor();
    }

    void latency(const char* mode, int runs)
    {
        if (!startMonitor(mode)) {
            std::printf("change -> 2128 (%s): the monitor did not start in that mode\n", mode);
            stopMonitor();
            return;
        }
        std::vector<double> times;
        std::vector<double> afterAnswer;  // from the scheduler's answer to the change
        int missed = 0;
        for (int i = 0; i < runs; ++i) {
            m_window.watched = benchQueue(i % std::max(m_added, 1));
            m_window.arrived = false;
            QElapsedTimer timer;
            timer.start();
            setLocation(m_window.watched, QStringLiteral("room %1 %2 %3").arg(QLatin1String(mode)).arg(i).arg(m_round));
            const double answered = timer.nsecsElapsed() / 1e6;
            if (waitUntil(m_window.arrived, 5000)) {
                times.push_back(timer.nsecsElapsed() / 1e6);
                afterAnswer.push_back(times.back() - answered);
            } else {
                ++missed;
            }
            // Changes at varying moments, not in step with the polling.
            idle(100 + (i * 137) % 700);
        }
        ++m_round;
        std::printf("change at the scheduler -> 2128 received, %d queues, %s: median %.1f ms, worst %.1f ms "
                    "over %d runs, %d missed (after the scheduler's answer to the change: median %.1f ms)\n",
                    PrinterAPI::installedPrinterCount(), mode, median(times), worst(times), int(times.size()), missed,
                    median(afterAnswer));
        stopMonitor();
    }

private:
    QByteArray readPid() const
    {
        QFile file(m_dir + "/cupsd.pid");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_bed;
    QString m_dir;
    QString m_bus;
    Window m_window;
    int m_added = 0;
    int m_round = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    if (geteuid() != 0) {
        std::fprintf(stderr, "printers_bench starts a private scheduler and needs root\n");
        return 1;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;

    // Short paths: unix socket names are limited to about 100 bytes.
    QTemporaryDir root(QStringLiteral("/tmp/kvb-XXXXXX"));
    // KORVANE_BENCH_KEEP=1 leaves the folder (logs) and stops nothing.
    const bool keep = qEnvironmentVariableIntValue("KORVANE_BENCH_KEEP") == 1;
    root.setAutoRemove(!keep);
    // The notifiers run as lp and must reach the bus socket inside.
    QFile::setPermissions(root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                           QFileDevice::ExeOther);
    if (keep)
        std::printf("bench folder: %s\n", qPrintable(root.path()));
    // KORVANE_BENCH_DIR names the folder of a kept run to use again: its
    // beds are only checked, not set up anew.
    const QString rootDir = keep && !qEnvironmentVariableIsEmpty("KORVANE_BENCH_DIR")
                                ? qEnvironmentVariable("KORVANE_BENCH_DIR")
                                : root.path();
    const QString busDir = rootDir + "/bus";
    const QString bedDir = rootDir + "/bed";
    if (!run(KORVANE_DBUS_BED_SCRIPT, { "up", busDir })) {
        std::fprintf(stderr, "cannot start the private bus\n");
        return 1;
    }
    const QString bus = "unix:path=" + busDir + "/bus.sock";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVANE_CUPS_BED_SYSTEM_BUS", bus);
    if (!run(KORVANE_CUPS_BED_SCRIPT, { "up", bedDir }, nullptr, env)) {
        std::fprintf(stderr, "cannot start the test bed\n");
        run(KORVANE_DBUS_BED_SCRIPT, { "down", busDir });
        return 1;
    }
    // Before anything opens the system bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.toUtf8());
    qputenv("CUPS_SERVER", (bedDir + "/cups.sock").toUtf8());
    qputenv("CUPS_SERVERROOT", (bedDir + "/client").toUtf8());
    qputenv("HOME", rootDir.toUtf8());

    QCoreApplication app(argc, argv);
    {
        Bench bench(KORVANE_CUPS_BED_SCRIPT, bedDir, bus);
        if (bench.growTo(16)) {
            bench.latency("dbus", runs);
            bench.latency("ippget", runs);
        } else {
            std::printf("could not set up 16 queues\n");
        }
        if (bench.growTo(500)) {
            bench.listingAgainstLpstat(runs);
            bench.idleCpu("dbus", idleSeconds);
            bench.idleCpu("ippget", idleSeconds);
            bench.latency("dbus", runs);
            bench.latency("ippget", runs);
        } else {
            std::printf("could not set up 500 queues\n");
        }
    }
    if (!keep) {
        run(KORVANE_CUPS_BED_SCRIPT, {"down", bedDir});
        run(KORVANE_DBUS_BED_SCRIPT, {"down", busDir});
    }
    return 0;
}
