// The machine's tree as sysfs shows it, over umockdev test beds.

#include "devicetree/deviceconstants.h"
#include "devicetree/devicetree.h"
#include "devicetree/deviceutils.h"
#include "devicetree/printqueues.h"
#include "devicetree/sysfsreader.h"
#include "devicetree/umockdevbed.h"

#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

using namespace devicetree;

namespace {

const QString kUsb1 = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bed.addFixture("usb-printers.umockdev")) << m_bed.error().toStdString();
        ASSERT_EQ(m_tree.build(), 0);
        ASSERT_NE(m_tree.root(), nullptr);
    }

    DeviceItem* find(const QString& instanceId) const
    {
        for (DeviceItem* item : m_tree.items()) {
            if (item->instanceId() == instanceId)
                return item;
        }
        return nullptr;
    }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_log{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
    UmockdevBed m_bed;
    UsingBed m_using{m_bed};
    DeviceTree m_tree{HardwareDatabase::empty()};
};

struct NodeCase {
    const char* instanceId;
    const char* parentId;
    const char* service;
    const char* deviceClass;
    std::uint32_t problem;
    const char* hardwareIds;  // display text
};

}  // namespace

TEST_F(SysfsTree, EveryNodeIsReachableOnceAndChildCountsHold)
{
    std::set<const DeviceItem*> seen;
    std::vector<DeviceItem*> stack{m_tree.root()};
    while (!stack.empty()) {
        DeviceItem* node = stack.back();
        stack.pop_back();
        ASSERT_TRUE(seen.insert(node).second) << "reached twice: " << node->instanceId().toStdString();
        int children = 0;
        for (DeviceItem* child = node->firstChild(); child; child = child->nextSibling()) {
            EXPECT_EQ(child->parent(), node);
            stack.push_back(child);
            ++children;
        }
        EXPECT_EQ(children, node->childCount());
    }
    EXPECT_EQ(seen.size(), m_tree.items().size());
    QSet<QString> ids;
    for (DeviceItem* item : m_tree.items())
        ids.insert(item->instanceId().toLower());
    EXPECT_EQ(std::size_t(ids.size()), m_tree.items().size()) << "instance ids are unique";
    EXPECT_EQ(m_tree.root()->instanceId(), QStringLiteral("HTREE\\ROOT\\0"));
    EXPECT_EQ(m_tree.root()->text(kSlotName), computerName());
    EXPECT_EQ(m_tree.items().front(), m_tree.root()) << "no synthetic root: /sys/devices is the root";
}

TEST_F(SysfsTree, NodesCarryWindowsShapedFacts)
{
    const NodeCase cases[] = {
        {"PCI\\0000:00:14.0", "HTREE\\ROOT\\0", "xhci_hcd", "pci", 0,
         "PCI\\VEN_8086&DEV_A36D&SUBSYS_085A1028,PCI\\VEN_8086&DEV_A36D,"},
        {"USB\\VID_1D6B&PID_0002\\0000:00:14.0", "PCI\\0000:00:14.0", "usbccgp", "USB", 0,
         "USB\\VID_1D6B&PID_0002&REV_0601,USB\\VID_1D6B&PID_0002,"},
        {"USB\\VID_1D6B&PID_0002&MI_00\\1-0:1.0", "USB\\VID_1D6B&PID_0002\\0000:00:14.0", "usbhub", "USB", 0,
         "USB\\VID_1D6B&PID_0002&REV_0601&MI_00,USB\\VID_1D6B&PID_0002&MI_00,"},
        {"USB\\VID_03F0&PID_1853\\PHB1234567", "USB\\VID_1D6B&PID_0002\\0000:00:14.0", "usbccgp", "USB", 0,
         "USB\\VID_03F0&PID_1853&REV_0100,USB\\VID_03F0&PID_1853,"},
        {"USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0", "USB\\VID_03F0&PID_1853\\PHB1234567", "usbprint", "Printer", 0,
         "USB\\VID_03F0&PID_1853&REV_0100&MI_00,USB\\VID_03F0&PID_1853&MI_00,"},
        {"USBMISC\\lp0", "USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0", "", "usbmisc", 0, ""},
        {"USB\\VID_1A86&PID_55D3&MI_01\\1-2:1.1", "USB\\VID_1A86&PID_55D3\\1-2", "cdc_acm", "Ports", 0,
         "USB\\VID_1A86&PID_55D3&REV_0445&MI_01,USB\\VID_1A86&PID_55D3&MI_01,"},
        {"USB\\VID_0781&PID_5567&MI_00\\1-3:1.0", "USB\\VID_0781&PID_5567\\4C530001230815117223", "USBSTOR", "USB",
         0, "USB\\VID_0781&PID_5567&REV_0126&MI_00,USB\\VID_0781&PID_5567&MI_00,"},
        {"SCSI\\host0", "USB\\VID_0781&PID_5567&MI_00\\1-3:1.0", "", "scsi", 0, ""},
        {"BLOCK\\sda", "SCSI\\host0", "", "block", 0, ""},
        {"USB\\VID_04F9&PID_0042\\000J5N123456", "USB\\VID_1D6B&PID_0002\\0000:00:14.0", "", "", 28,
         "USB\\VID_04F9&PID_0042&REV_0100,USB\\VID_04F9&PID_0042,"},
        {"USB\\VID_04F9&PID_0042&MI_00\\1-4:1.0", "USB\\VID_04F9&PID_0042\\000J5N123456", "", "", 28,
         "USB\\VID_04F9&PID_0042&REV_0100&MI_00,USB\\VID_04F9&PID_0042&MI_00,"},
        {"USB\\VID_03F0&PID_C511&MI_01\\1-5:1.1", "USB\\VID_03F0&PID_C511\\TH9AB1C2D3", "usbfs", "Printer", 0,
         "USB\\VID_03F0&PID_C511&REV_0100&MI_01,USB\\VID_03F0&PID_C511&MI_01,"},
        {"USB\\VID_04A9&PID_2771&MI_00\\1-7:1.0", "USB\\VID_04A9&PID_2771\\0000A1B2C3D4", "", "", 28,
         "USB\\VID_04A9&PID_2771&REV_0100&MI_00,USB\\VID_04A9&PID_2771&MI_00,"},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.instanceId);
        DeviceItem* node = find(QString::fromUtf8(c.instanceId));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->parentInstanceId(), QString::fromUtf8(c.parentId));
        ASSERT_NE(node->parent(), nullptr);
        EXPECT_EQ(node->parent()->instanceId(), QString::fromUtf8(c.parentId));
        EXPECT_EQ(node->text(kSlotService), QString::fromUtf8(c.service));
        EXPECT_EQ(node->text(kSlotClass), QString::fromUtf8(c.deviceClass));
        EXPECT_EQ(node->problemCode(), c.problem);
        EXPECT_EQ(node->text(kSlotHardwareIds), QString::fromUtf8(c.hardwareIds));
        EXPECT_EQ(node->text(kSlotEnumerator), node->instanceId().section('\\', 0, 0));
        EXPECT_EQ(node->text(kSlotIsPresent), "true");
    }
}

TEST_F(SysfsTree, ProblemAndStatusFollowTheDriver)
{
    DeviceItem* printer = find("USB\\VID_03F0&PID_1853\\PHB1234567");
    DeviceItem* driverless = find("USB\\VID_04F9&PID_0042\\000J5N123456");
    ASSERT_TRUE(printer && driverless);
    EXPECT_EQ(printer->problemCode(), kProblemNone);
    EXPECT_TRUE(printer->nodeStatus() & kStatusStarted);
    EXPECT_TRUE(printer->nodeStatus() & kStatusRemovable);
    EXPECT_FALSE(printer->nodeStatus() & kStatusHasProblem);
    EXPECT_EQ(driverless->problemCode(), kProblemFailedInstall);
    EXPECT_TRUE(driverless->nodeStatus() & kStatusHasProblem);
    EXPECT_TRUE(m_tree.root()->nodeStatus() & kStatusRootEnumerated);
}

TEST_F(SysfsTree, ContainerIdsGroupOnePhysicalDevice)
{
    DeviceItem* printer = find("USB\\VID_03F0&PID_1853\\PHB1234567");
    DeviceItem* iface = find("USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0");
    DeviceItem* lp = find("USBMISC\\lp0");
    DeviceItem* disk = find("BLOCK\\sda");
    DeviceItem* storage = find("USB\\VID_0781&PID_5567\\4C530001230815117223");
    DeviceItem* rootHub = find("USB\\VID_1D6B&PID_0002\\0000:00:14.0");
    ASSERT_TRUE(printer && iface && lp && disk && storage && rootHub);
    const QString container = printer->text(kSlotContainerId);
    EXPECT_EQ(container.size(), 38);
    EXPECT_TRUE(container.startsWith('{') && container.endsWith('}'));
    EXPECT_EQ(container, container.toUpper());
    EXPECT_EQ(iface->text(kSlotContainerId), container);
    EXPECT_EQ(lp->text(kSlotContainerId), container);
    EXPECT_EQ(disk->text(kSlotContainerId), storage->text(kSlotContainerId));
    EXPECT_NE(storage->text(kSlotContainerId), container);
    EXPECT_EQ(rootHub->text(kSlotContainerId), QString::fromLatin1(kComputerContainerId));
    EXPECT_EQ(m_tree.root()->text(kSlotContainerId), QString::fromLatin1(kComputerContainerId));

    DeviceTree again(HardwareDatabase::empty());
    ASSERT_EQ(again.build(), 0);
    for (DeviceItem* item : again.items()) {
        if (item->instanceId() == printer->instanceId()) {
            EXPECT_EQ(item->text(kSlotContainerId), container) << "stable across snapshots";
        }
    }
}

TEST_F(SysfsTree, NamesAndDescriptionsComeFromTheDevice)
{
    DeviceItem* printer = find("USB\\VID_03F0&PID_1853\\PHB1234567");
    DeviceItem* control = find("USB\\VID_1A86&PID_55D3&MI_00\\1-2:1.0");
    DeviceItem* iface = find("USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0");
    ASSERT_TRUE(printer && control && iface);
    EXPECT_EQ(printer->text(kSlotName), "LaserJet Pro M404dn");
    EXPECT_EQ(printer->text(kSlotManufacturer), "HP");
    EXPECT_EQ(printer->text(kSlotBusReportedDesc), "LaserJet Pro M404dn");
    EXPECT_EQ(printer->text(kSlotLocationInfo), "1-1");
    EXPECT_EQ(control->text(kSlotName), "Control Port");
    EXPECT_EQ(iface->text(kSlotName), "USB Printing Support");
    EXPECT_EQ(iface->text(kSlotClassName), "Printers");
    EXPECT_EQ(iface->text(kSlotManufacturer), "HP");
    EXPECT_EQ(find("PCI\\0000:00:14.0")->text(kSlotLocationInfo), "PCI bus 0, device 20, function 0");
}

TEST_F(SysfsTree, VanishedDeviceReadsAsAbsent)
{
    DeviceItem* printer = find("USB\\VID_03F0&PID_1853\\PHB1234567");
    ASSERT_NE(printer, nullptr);
    m_bed.removeDevice(kUsb1 + "/1-1/1-1:1.0/usbmisc/lp0");
    m_bed.removeDevice(kUsb1 + "/1-1/1-1:1.0");
    m_bed.removeDevice(kUsb1 + "/1-1");
    EXPECT_EQ(printer->text(kSlotIsPresent), "false");
    EXPECT_TRUE(printer->property(kSlotName).hasValue) << "read at creation, kept";
    EXPECT_FALSE(printer->property(kSlotManufacturer).hasValue);
    EXPECT_FALSE(printer->property(kSlotService).hasValue);
    EXPECT_EQ(printer->instanceId(), "USB\\VID_03F0&PID_1853\\PHB1234567");
}

TEST_F(SysfsTree, PrintQueueNamingTheDeviceHangsBelowItsPrinterInterface)
{
    setPrintQueueProvider([] {
        return std::vector<PrintQueueBinding>{
            {"Office_M404", "usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567"},
            {"Elsewhere", "ipp://10.203.0.5/ipp/print"},
            {"Canon_LBP", "usb://Canon/LBP6030/6040/6018L?serial=0000A1B2C3D4"},
        };
    });
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    setPrintQueueProvider(nullptr);

    std::vector<DeviceItem*> queues;
    for (DeviceItem* item : tree.items()) {
        if (item->text(kSlotClass) == "PrintQueue")
            queues.push_back(item);
    }
    ASSERT_EQ(queues.size(), 2u);
    EXPECT_EQ(queues[0]->instanceId(), "SWD\\PRINTENUM\\Office_M404");
    EXPECT_EQ(queues[0]->text(kSlotName), "Office_M404");
    EXPECT_EQ(queues[0]->parent()->instanceId(), "USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0");
    EXPECT_EQ(queues[0]->text(kSlotContainerId), queues[0]->parent()->text(kSlotContainerId));
    // The Canon's interface has no kernel driver: CUPS's backend drives it.
    EXPECT_EQ(queues[1]->parent()->instanceId(), "USB\\VID_04A9&PID_2771&MI_00\\1-7:1.0");
    EXPECT_EQ(queues[1]->parent()->problemCode(), kProblemNone);
    EXPECT_EQ(queues[1]->parent()->text(kSlotClass), "Printer");
}

TEST(SysfsTreeFaults, MissingSysfsGivesAnEmptyTreeAndTheCode)
{
    QTemporaryDir dir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", dir.filePath("mysimple.log").toUtf8());
    testsupport::ScopedEnv root("KORVANE_SYSFS_ROOT", dir.filePath("nothing").toUtf8());
    DeviceTree tree(HardwareDatabase::empty());
    EXPECT_EQ(tree.build(), 3);
    EXPECT_EQ(tree.root(), nullptr);
    EXPECT_TRUE(tree.items().empty());
}

TEST(SysfsTreeFaults, DeviceControlledJunkIsBoundedAndKeptApart)
{
    QTemporaryDir dir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", dir.filePath("mysimple.log").toUtf8());
    UmockdevBed bed;
    ASSERT_TRUE(bed.addFixture("junk.umockdev")) << bed.error().toStdString();
    UsingBed using_(bed);
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    std::map<QString, DeviceItem*> byLocation;
    for (DeviceItem* item : tree.items()) {
        if (item->instanceId().startsWith("USB\\VID_1234") && !item->instanceId().contains("&MI_"))
            byLocation[item->text(kSlotLocationInfo)] = item;
    }
    ASSERT_EQ(byLocation.size(), 8u);

    EXPECT_EQ(byLocation["3-1"]->instanceId(), "USB\\VID_1234&PID_0001\\3-1") << "no serial: the port path";
    EXPECT_EQ(byLocation["3-1"]->text(kSlotName), "USB Device");
    EXPECT_FALSE(byLocation["3-1"]->property(kSlotManufacturer).hasValue);
    EXPECT_EQ(byLocation["3-2"]->instanceId(), "USB\\VID_1234&PID_0002\\3-2");
    EXPECT_FALSE(byLocation["3-2"]->property(kSlotBusReportedDesc).hasValue);

    EXPECT_EQ(byLocation["3-3"]->text(kSlotName).size(), 256);
    EXPECT_EQ(byLocation["3-3"]->instanceId(), "USB\\VID_1234&PID_0003\\3-3") << "an over-long serial is not used";
    const QString longProduct = readAttribute(bed.sysfsRoot() + "/devices/platform/dummy_hcd.0/usb3/3-3", "product");
    EXPECT_EQ(longProduct.size(), kMaxAttributeBytes);

    EXPECT_TRUE(byLocation["3-4"]->text(kSlotName).contains(QChar(0xFFFD)));
    EXPECT_TRUE(byLocation["3-4"]->text(kSlotName).startsWith("P"));
    EXPECT_TRUE(byLocation["3-4"]->text(kSlotManufacturer).contains(QChar(0xFFFD)));

    EXPECT_EQ(byLocation["3-6"]->instanceId(), "USB\\VID_1234&PID_0006\\DUP123");
    EXPECT_EQ(byLocation["3-7"]->instanceId(), "USB\\VID_1234&PID_0006\\3-7")
        << "a second device with the same serial (any case) keeps its own id";
    ASSERT_NE(byLocation["3-7"]->firstChild(), nullptr);
    EXPECT_EQ(byLocation["3-7"]->firstChild()->parent(), byLocation["3-7"]);
    EXPECT_EQ(byLocation["3-8"]->instanceId(), "USB\\VID_1234&PID_0008\\3-8");
}

namespace {

QStringList hardwareIdsOf(const DeviceTree& tree, const QString& instanceIdPrefix)
{
    for (DeviceItem* item : tree.items()) {
        if (item->instanceId().startsWith(instanceIdPrefix))
            return item->hardwareIds();
    }
    return {};
}

}  // namespace

TEST(SysfsTreeRevision, ComesFromTheProductValueWhenBcdDeviceIsMissing)
{
    QTemporaryDir logDir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", logDir.filePath("mysimple.log").toUtf8());
    UmockdevBed bed;
    ASSERT_TRUE(bed.addFixture("usb-printers.umockdev")) << bed.error().toStdString();
    ASSERT_TRUE(bed.addFixture("ipp-usb-printer.umockdev")) << bed.error().toStdString();
    UsingBed using_(bed);
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    EXPECT_EQ(hardwareIdsOf(tree, "USB\\VID_03F0&PID_3E2A\\"),
              (QStringList{"USB\\VID_03F0&PID_3E2A&REV_0200", "USB\\VID_03F0&PID_3E2A"}));
    EXPECT_EQ(hardwareIdsOf(tree, "USB\\VID_03F0&PID_3E2A&MI_01\\"),
              (QStringList{"USB\\VID_03F0&PID_3E2A&REV_0200&MI_01", "USB\\VID_03F0&PID_3E2A&MI_01"}));
}

TEST(SysfsTreeRevision, ComesFromAnInterfaceModaliasOrIsLeftOut)
{
    QTemporaryDir logDir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", logDir.filePath("mysimple.log").toUtf8());
    UmockdevBed bed;
    ASSERT_TRUE(bed.addText(QStringLiteral(
        "P: /devices/usb9\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=1d6b\nA: idProduct=0002\n\n"
        "P: /devices/usb9/9-1\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=04f9\nA: idProduct=0042\n\n"
        "P: /devices/usb9/9-1/9-1:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\n"
        "E: MODALIAS=usb:v04F9p0042d0107dc00dsc00dp00ic07isc01ip02in00\nA: bInterfaceNumber=00\n"
        "A: bInterfaceClass=07\n\n"
        "P: /devices/usb9/9-2\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: PRODUCT=4a9/2771/\n"
        "A: idVendor=04a9\nA: idProduct=2771\n\n"
        "P: /devices/usb9/9-2/9-2:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n"
        "A: bInterfaceClass=07\n")))
        << bed.error().toStdString();
    UsingBed using_(bed);
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    EXPECT_EQ(hardwareIdsOf(tree, "USB\\VID_04F9&PID_0042\\"),
              (QStringList{"USB\\VID_04F9&PID_0042&REV_0107", "USB\\VID_04F9&PID_0042"}));
    EXPECT_EQ(hardwareIdsOf(tree, "USB\\VID_04A9&PID_2771\\"), QStringList{"USB\\VID_04A9&PID_2771"})
        << "no release number is made up";
    EXPECT_EQ(hardwareIdsOf(tree, "USB\\VID_04A9&PID_2771&MI_00\\"), QStringList{"USB\\VID_04A9&PID_2771&MI_00"});
}

TEST(SysfsTreeQueues, PrintSystemIsAskedOnlyWhenAUsbDeviceIsThere)
{
    QTemporaryDir logDir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", logDir.filePath("mysimple.log").toUtf8());
    int asked = 0;
    setPrintQueueProvider([&asked] {
        ++asked;
        return std::vector<PrintQueueBinding>{};
    });
    {
        UmockdevBed bed;
        ASSERT_TRUE(bed.addText(QStringLiteral(
            "P: /devices/pci0000:00/0000:00:14.0\nE: SUBSYSTEM=pci\nE: PCI_ID=8086:A36D\n\n"
            "P: /devices/pci0000:00/0000:00:14.0/usb1\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\n"
            "A: idVendor=1d6b\nA: idProduct=0002\n")))
            << bed.error().toStdString();
        UsingBed using_(bed);
        DeviceTree tree(HardwareDatabase::empty());
        ASSERT_EQ(tree.build(), 0);
        ASSERT_EQ(tree.build(), 0);
        EXPECT_EQ(asked, 0) << "a root hub alone drives no printer";
    }
    UmockdevBed bed;
    ASSERT_TRUE(bed.addFixture("usb-printers.umockdev")) << bed.error().toStdString();
    UsingBed using_(bed);
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    EXPECT_EQ(asked, 1);
    setPrintQueueProvider(nullptr);
}
