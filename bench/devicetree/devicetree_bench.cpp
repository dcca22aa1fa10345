// How long a device snapshot takes: a full build (node creation reads the
// eager slots) followed by a read of every slot of every node, on this
// machine's /sys and on a generated 500-node umockdev bed.
//
//   devicetree_bench [runs]

// glib names a struct member "signals", which Qt defines as a keyword: glib first.
#include <umockdev.h>

#include "devicetree/devicetree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Result {
    std::size_t nodes = 0;
    double buildMs = 0;
    double allSlotsMs = 0;
};

Result measureOnce(const devicetree::HardwareDatabase& hwdb)
{
    Result result;
    QElapsedTimer timer;
    timer.start();
    DeviceTree tree(hwdb);
    tree.build();
    result.buildMs = double(timer.nsecsElapsed()) / 1e6;
    for (DeviceItem* item : tree.items()) {
        for (int slot = 0; slot < devicetree::kSlotCount; ++slot)
            item->property(slot);
    }
    result.allSlotsMs = double(timer.nsecsElapsed()) / 1e6;
    result.nodes = tree.items().size();
    return result;
}

void report(const char* label, int runs, const devicetree::HardwareDatabase& hwdb)
{
    measureOnce(hwdb);  // warm the page cache and the hardware database
    std::vector<double> builds;
    std::vector<double> totals;
    std::size_t nodes = 0;
    for (int i = 0; i < runs; ++i) {
        const Result r = measureOnce(hwdb);
        builds.push_back(r.buildMs);
        totals.push_back(r.allSlotsMs);
        nodes = r.nodes;
    }
    std::sort(builds.begin(), builds.end());
    std::sort(totals.begin(), totals.end());
    std::printf("%-22s %5zu nodes  build median %7.2f ms (max %7.2f)  build+all slots median %7.2f ms (max %7.2f)\n",
                label, nodes, builds[builds.size() / 2], builds.back(), totals[totals.size() / 2], totals.back());
}

QString generatedBed(int devices)
{
    // One controller, its root hub, then devices of three interfaces each:
    // 2 + 2 + devices * 4 nodes.
    QString text = QStringLiteral(
        "P: /devices/pci0000:00/0000:00:14.0\nE: SUBSYSTEM=pci\nE: PCI_ID=8086:A36D\nE: PCI_SUBSYS_ID=1028:085A\n"
        "L: driver=../../../bus/pci/drivers/xhci_hcd\n\n"
        "P: /devices/pci0000:00/0000:00:14.0/usb1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=1d6b\n"
        "A: idProduct=0002\nA: bcdDevice=0601\nA: serial=0000:00:14.0\nA: product=xHCI Host Controller\n"
        "L: driver=../../../../bus/usb/drivers/usb\n\n"
        "P: /devices/pci0000:00/0000:00:14.0/usb1/1-0:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
        "A: bInterfaceNumber=00\nA: bInterfaceClass=09\nL: driver=../../../../../bus/usb/drivers/hub\n\n");
    for (int d = 0; d < devices; ++d) {
        const QString dev = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(d + 1);
        text += QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%2\nA: idProduct=%3\n"
                               "A: bcdDevice=0100\nA: manufacturer=Vendor %4\nA: product=Device %4\nA: serial=SN%4\n"
                               "L: driver=../../../../../bus/usb/drivers/usb\n\n")
                    .arg(dev)
                    .arg(0x1000 + d, 4, 16, QLatin1Char('0'))
                    .arg(0x2000 + d, 4, 16, QLatin1Char('0'))
                    .arg(d);
        for (int i = 0; i < 3; ++i) {
            text += QStringLiteral("P: %1/1-%2:1.%3\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
                                   "A: bInterfaceNumber=%4\nA: bInterfaceClass=%5\nA: bInterfaceProtocol=02\n%6\n")
                        .arg(dev)
                        .arg(d + 1)
                        .arg(i)
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(i == 0 ? QStringLiteral("07") : QStringLiteral("ff"))
                        .arg(i == 0 ? QStringLiteral("L: driver=../../../../../../bus/usb/drivers/usblp\n"
                                                     "A: ieee1284_id=MFG:Vendor;MDL:Device;CLS:PRINTER;\n")
                                    : QString());
        }
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    QTemporaryDir logDir;
    qputenv("KORVANE_DEVICE_LOG", logDir.filePath("mysimple.log").toUtf8());

    qunsetenv("KORVANE_SYSFS_ROOT");
    report("this machine's /sys", runs, devicetree::HardwareDatabase::system());

    UMockdevTestbed* bed = umockdev_testbed_new();
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed, generatedBed(124).toUtf8().constData(), &error)) {
        std::fprintf(stderr, "bed: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        g_object_unref(bed);
        return 1;
    }
    qputenv("KORVANE_SYSFS_ROOT", QByteArray(umockdev_testbed_get_root_dir(bed)) + "/sys");
    report("generated umockdev bed", runs, devicetree::HardwareDatabase::system());
    g_object_unref(bed);
    return 0;
}
