// Found -> queue ready: how long adding a driverless queue for an IPP
// Everywhere printer takes through addNetworkPrinter, next to `lpadmin -p
// NAME -E -v URI -m everywhere` for the same printer in the same run.
//
//   addprinter_bench [runs]
//
// Needs root: it starts tests/testbeds/ippprinter/bed in a temporary folder
// (ippeveprinter and a private scheduler in a loopback-only namespace) and
// stops it at the end. Each run adds one queue each way, checks that both are
// driverless and accepting, and removes them again (not timed). Ready means
// the scheduler has made the printer's PPD: addNetworkPrinter waits for that
// itself; after lpadmin, lpoptions is asked until it says so.

#include "bench/printers/benchtools.h"
#include "printers/printersetup.h"


#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using benchtools::median;
using benchtools::run;

// Driverless (a PPD the scheduler made from the printer) and accepting jobs.
bool ready(const QString& name)
{
    QByteArray options;
    return run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name}, &options) &&
           options.contains("IPP Everywhere") && options.contains("printer-is-accepting-jobs=true") &&
           options.contains("printer-state=3");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::min(100, std::atoi(argv[1]))) : 10;
    QTemporaryDir dir;
    const QString bed = QStringLiteral(KORVANE_IPP_PRINTER_BED_SCRIPT);
    const QString bedDir = dir.path() + QStringLiteral("/bed");
    if (!run(bed, {QStringLiteral("up"), bedDir})) {
        std::fprintf(stderr, "cannot start %s (root needed)\n", qPrintable(bed));
        return 1;
    }
    qputenv("CUPS_SERVER", (bedDir + QStringLiteral("/cups/cups.sock")).toUtf8());
    QFile uriFile(bedDir + QStringLiteral("/uri"));
    uriFile.open(QIODevice::ReadOnly);
    const QString uri = QString::fromLatin1(uriFile.readAll()).trimmed();

    std::vector<double> ours;
    std::vector<double> lpadmin;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QJsonObject added = PrinterAPI::addNetworkPrinter(uri, QStringLiteral("Bench Printer"), QString());
        const double oursMs = double(clock.nsecsElapsed()) / 1e6;
        const QString name = added.value(QStringLiteral("printerName")).toString();
        if (added.value(QStringLiteral("code")).toInt(-1) != 0 || !ready(name)) {
            std::fprintf(stderr, "run %d: addNetworkPrinter answered %d, queue \"%s\" not ready\n", i,
                         added.value(QStringLiteral("code")).toInt(-1), qPrintable(name));
            ++failures;
        }
        ours.push_back(oursMs);

        // lpadmin may return before the scheduler has the printer's PPD: the
        // queue is ready once lpoptions says so (asked every 20 ms, 10 s at most).
        const QString other = QStringLiteral("bench_lpadmin");
        clock.restart();
        const bool ok = run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), other, QStringLiteral("-E"),
                                                        QStringLiteral("-v"), uri, QStringLiteral("-m"),
                                                        QStringLiteral("everywhere")});
        bool isReady = ok && ready(other);
        while (ok && !isReady && clock.elapsed() < 10000) {
            QThread::msleep(20);
            isReady = ready(other);
        }
        lpadmin.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!isReady) {
            std::fprintf(stderr, "run %d: lpadmin %s, queue not ready\n", i, ok ? "succeeded" : "failed");
            ++failures;
        }
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), other});
    }
    run(bed, {QStringLiteral("down"), bedDir});
    std::printf("found -> driverless queue ready, median of %d runs:\n", runs);
    std::printf("  addNetworkPrinter            %8.1f ms\n", median(ours));
    std::printf("  lpadmin -m everywhere        %8.1f ms\n", median(lpadmin));
    std::printf("  failures                     %d\n", failures);
    return failures == 0 ? 0 : 2;
}
