// Found -> queue ready for a USB printer: how long addUsbPrinter takes (the
// device from sysfs, its usb:// URI from the scheduler's device list, the
// installed driver matched on its 1284 id, the queue), next to what a person
// does with the CUPS tools for the same printer in the same run: `lpinfo
// --include-schemes usb -v` to learn the URI, `lpinfo --device-id ID -m` to
// find the driver, then `lpadmin -p NAME -E -v URI -m PPD`.
//
//   usbaddprinter_bench [runs]
//
// Needs root: it starts tests/testbeds/cups/bed with its stand-in usb backend
// (KORVANE_CUPS_BED_USB) in a temporary folder, and points the device reads
// at a umockdev copy of tests/data/umockdev/usb-printers.umockdev. Each run
// adds one queue each way, checks both, and removes them (not timed).

// glib names a struct member "signals", which Qt defines as a keyword: glib first.
#include <umockdev.h>

#include "bench/printers/benchtools.h"
#include "discovery/usbsetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using benchtools::median;
using benchtools::run;

// The queue prints to the printer's usb:// URI with the bed's driver and takes jobs.
bool ready(const QString& name, const QString& uri)
{
    QByteArray options;
    return run(QStringLiteral("lpoptions"), {QStringLiteral("-p"), name}, &options) &&
           options.contains(("device-uri=" + uri).toUtf8()) &&
           options.contains("printer-make-and-model='HP LaserJet Pro M404-M405 (test bed)'") &&
           options.contains("printer-is-accepting-jobs=true");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::min(100, std::atoi(argv[1]))) : 10;
    const QString source = QStringLiteral(KORVANE_SOURCE_DIR);
    const QString bed = source + QStringLiteral("/tests/testbeds/cups/bed");
    QTemporaryDir dir;
    // The scheduler's driver helper runs as lp and reads the bed's driver there.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ReadOther | QFileDevice::ExeOther |
                                          QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    const QString bedDir = dir.path() + QStringLiteral("/bed");
    QProcessEnvironment bedEnv = QProcessEnvironment::systemEnvironment();
    bedEnv.insert(QStringLiteral("KORVANE_CUPS_BED_USB"), source + QStringLiteral("/tests/testbeds/cups/usb-devices"));
    if (!run(bed, {QStringLiteral("up"), bedDir}, nullptr, bedEnv)) {
        std::fprintf(stderr, "cannot start %s (root needed)\n", qPrintable(bed));
        return 1;
    }
    qputenv("CUPS_SERVER", (bedDir + QStringLiteral("/cups.sock")).toUtf8());
    qputenv("KORVANE_IPP_USB_URI", "none");
    UMockdevTestbed* devices = umockdev_testbed_new();
    GError* error = nullptr;
    const QByteArray fixture = (source + QStringLiteral("/tests/data/umockdev/usb-printers.umockdev")).toUtf8();
    if (!umockdev_testbed_add_from_file(devices, fixture.constData(), &error)) {
        std::fprintf(stderr, "cannot read %s: %s\n", fixture.constData(), error ? error->message : "?");
        run(bed, {QStringLiteral("down"), bedDir});
        return 1;
    }
    qputenv("KORVANE_SYSFS_ROOT", umockdev_testbed_get_sys_dir(devices));

    const QString uri = QStringLiteral("usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567");
    std::vector<double> ours;
    std::vector<double> tools;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QJsonObject added =
            discovery::addUsbPrinter(QStringLiteral("USB\\VID_03F0&PID_1853"), QStringLiteral("PHB1234567"));
        ours.push_back(double(clock.nsecsElapsed()) / 1e6);
        const QString name = added.value(QStringLiteral("printerName")).toString();
        if (added.value(QStringLiteral("code")).toInt(-1) != 0 || !ready(name, uri)) {
            std::fprintf(stderr, "run %d: addUsbPrinter answered %d, queue \"%s\" not ready\n", i,
                         added.value(QStringLiteral("code")).toInt(-1), qPrintable(name));
            ++failures;
        }

        const QString other = QStringLiteral("bench_lpadmin");
        clock.restart();
        QByteArray listing;
        bool ok = run(QStringLiteral("lpinfo"), {QStringLiteral("--include-schemes"), QStringLiteral("usb"),
                                                 QStringLiteral("-v")}, &listing);
        QByteArray drivers;
        ok = ok && listing.contains(uri.toUtf8()) &&
             run(QStringLiteral("lpinfo"), {QStringLiteral("--device-id"),
                                            QStringLiteral("MFG:HP;MDL:LaserJet Pro M404-M405;CMD:PJL,PCL,POSTSCRIPT;"),
                                            QStringLiteral("-m")}, &drivers) &&
             drivers.contains("korvane-bed:usb-laser.ppd") &&
             run(QStringLiteral("lpadmin"), {QStringLiteral("-p"), other, QStringLiteral("-E"), QStringLiteral("-v"), uri,
                                             QStringLiteral("-m"), QStringLiteral("korvane-bed:usb-laser.ppd")});
        tools.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!ok || !ready(other, uri)) {
            std::fprintf(stderr, "run %d: lpinfo/lpadmin %s, queue not ready\n", i, ok ? "succeeded" : "failed");
            ++failures;
        }
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), other});
    }
    g_object_unref(devices);
    run(bed, {QStringLiteral("down"), bedDir});
    std::printf("found USB printer -> queue ready, median of %d runs:\n", runs);
    std::printf("  addUsbPrinter                   %8.1f ms\n", median(ours));
    std::printf("  lpinfo -v, lpinfo -m, lpadmin  %8.1f ms\n", median(tools));
    std::printf("  failures                        %d\n", failures);
    return failures == 0 ? 0 : 2;
}
