// The USB passes over a umockdev bed, driven through a recording searcher.

#include "devicetree/deviceconstants.h"
#include "devicetree/devicetree.h"
#include "devicetree/printqueues.h"
#include "devicetree/umockdevbed.h"
#include "discovery/installmonitorqueues.h"
#include "discovery/silentscheduler.h"
#include "discovery/usb_recordingsearcher.h"
#include "discovery/usbprinters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace devicetree;

namespace {

class UsbPasses : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_bed.addFixture("usb-printers.umockdev")) << m_bed.error().toStdString(); }
    void TearDown() override { setPrintQueueProvider(nullptr); }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_log{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
    UmockdevBed m_bed;
    UsingBed m_using{m_bed};
};

USBPrinterInfo laserJet()
{
    USBPrinterInfo r;
    r.deviceClass = "Printer";
    r.classGuid = QString::fromLatin1(kPrinterClassGuid);
    r.compatibleids = QStringList{"USBPRINT\\HPLaserJet_Pro_M404-M405", "USB\\Class_07&SubClass_01&Prot_02",
                                  "USB\\Class_07&SubClass_01", "USB\\Class_07"};
    r.hardwareids = QStringList{"USB\\VID_03F0&PID_1853", "USB\\VID_03F0&PID_1853&REV_0100",
                                "USBPRINT\\HPLaserJet_Pro_M404-M405", "HPLaserJet_Pro_M404-M405"};
    r.deviceDesc = "LaserJet Pro M404-M405";
    r.friendlyName = "LaserJet Pro M404-M405";
    r.mfg = "HP";
    r.searchMethod = 0;
    r.serial = "PHB1234567";
    return r;
}

QStringList firstHardwareIds(const std::vector<USBPrinterInfo>& records)
{
    QStringList ids;
    for (const USBPrinterInfo& r : records)
        ids << r.hardwareids.value(0);
    return ids;
}

}  // namespace

TEST_F(UsbPasses, PrinterBoundToUsblpCarriesItsIeee1284Fields)
{
    const std::vector<USBPrinterInfo> printers = queryDevices(UsbPopulation::Printers);
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0], laserJet());
    EXPECT_EQ(printers[1].mfg, "EPSON");
    EXPECT_EQ(printers[1].deviceDesc, "ET-2810 Series");
    EXPECT_EQ(printers[1].hardwareids.value(0), "USB\\VID_04B8&PID_1181");
}

TEST_F(UsbPasses, IppOverUsbPrinterIsAPrintingSoftwareDevice)
{
    const std::vector<USBPrinterInfo> software = queryDevices(UsbPopulation::PrintingSoftwareDevices);
    ASSERT_EQ(software.size(), 2u) << "both devices with an IPP-over-USB interface";
    const USBPrinterInfo& officeJet = software[0];
    EXPECT_EQ(officeJet.deviceClass, "SoftwareDevice");
    EXPECT_EQ(officeJet.classGuid, QString::fromLatin1(kSoftwareDeviceClassGuid));
    EXPECT_EQ(officeJet.searchMethod, 1);
    EXPECT_EQ(officeJet.mfg, "HP") << "no usblp, so the descriptor strings";
    EXPECT_EQ(officeJet.deviceDesc, "OfficeJet Pro 9010 series");
    EXPECT_EQ(officeJet.compatibleids,
              (QStringList{"USBPRINT\\HPOfficeJet_Pro_9010_series", "USB\\Class_07&SubClass_01&Prot_04",
                           "USB\\Class_07&SubClass_01", "USB\\Class_07"}));
}

TEST_F(UsbPasses, DevicesWithoutADriverHaveNoClassNameOrMaker)
{
    std::vector<USBPrinterInfo> unserved;
    for (const USBPrinterInfo& r : queryDevices(UsbPopulation::AllDevices)) {
        if (r.deviceClass.isEmpty() && r.friendlyName.isEmpty() && r.mfg.isEmpty() && !r.hardwareids.isEmpty())
            unserved.push_back(r);
    }
    ASSERT_EQ(unserved.size(), 2u);
    EXPECT_EQ(unserved[0].hardwareids, (QStringList{"USB\\VID_04F9&PID_0042", "USB\\VID_04F9&PID_0042&REV_0100"}));
    EXPECT_EQ(unserved[0].deviceDesc, "HL-2030 series");
    EXPECT_EQ(unserved[0].searchMethod, 3);
    EXPECT_EQ(unserved[0].compatibleids,
              (QStringList{"USB\\Class_FF&SubClass_FF&Prot_FF", "USB\\Class_FF&SubClass_FF", "USB\\Class_FF"}));
    EXPECT_EQ(unserved[1].hardwareids.value(0), "USB\\VID_04A9&PID_2771");
}

TEST_F(UsbPasses, SearchReportsEachPopulationOnceInOrder)
{
    RecordingSearcher searcher;
    EXPECT_FALSE(searchUsbByClass(searcher));
    EXPECT_EQ(searcher.calls, (QStringList{"progress 1 1 3 0 0", "usb1 2", "progress 3 1 4 0 0", "usb1 1",
                                           "progress 3 1 4 0 0", "usb1 2"}));
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[0]),
              (QStringList{"USB\\VID_03F0&PID_1853", "USB\\VID_04B8&PID_1181"}));
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[1]), QStringList{"USB\\VID_03F0&PID_C511"})
        << "the Epson's IPP-over-USB side is not reported again";
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[2]),
              (QStringList{"USB\\VID_04F9&PID_0042", "USB\\VID_04A9&PID_2771"}));
    for (const USBPrinterInfo& r : searcher.usb1Calls[2])
        EXPECT_EQ(r.searchMethod, 3);
}

TEST_F(UsbPasses, QueueDrivenPrinterJoinsThePrintersWithoutAnId)
{
    setPrintQueueProvider([] {
        return std::vector<PrintQueueBinding>{{"Canon_LBP", "usb://Canon/LBP6030/6040/6018L?serial=0000A1B2C3D4"}};
    });
    RecordingSearcher searcher;
    EXPECT_FALSE(searchUsbByClass(searcher));
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    ASSERT_EQ(searcher.usb1Calls[0].size(), 3u);
    const USBPrinterInfo& canon = searcher.usb1Calls[0][2];
    EXPECT_EQ(canon.friendlyName, "Canon_LBP");
    EXPECT_EQ(canon.mfg, "Canon");
    EXPECT_EQ(canon.deviceDesc, "LBP6030/6040/6018L");
    EXPECT_EQ(canon.searchMethod, 0);
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[2]), QStringList{"USB\\VID_04F9&PID_0042"})
        << "a device a queue drives has a driver";
}

TEST_F(UsbPasses, InterruptStopsBetweenPasses)
{
    RecordingSearcher searcher;
    searcher.interruptAfterProgress = 2;
    EXPECT_TRUE(searchUsbByClass(searcher));
    EXPECT_EQ(searcher.calls, (QStringList{"progress 1 1 3 0 0", "usb1 2", "progress 3 1 4 0 0"}));

    RecordingSearcher stopped;
    stopped.state = PrinterSearcher::kInterruptRequested;
    EXPECT_TRUE(searchUsbByClass(stopped));
    EXPECT_EQ(stopped.calls, QStringList{"progress 1 1 3 0 0"});
}

TEST_F(UsbPasses, TreeWalkHandsOverOneNodePerVendorProductPair)
{
    RecordingSearcher searcher;
    EXPECT_TRUE(searchUsbByTree(searcher));
    ASSERT_EQ(searcher.calls.size(), 2);
    EXPECT_EQ(searcher.calls[0], "progress 3 1 4 0 0");
    ASSERT_TRUE(searcher.tree && searcher.items);
    QStringList ids;
    for (DeviceItem* item : *searcher.items)
        ids << item->instanceId();
    EXPECT_EQ(ids, (QStringList{"USB\\VID_1D6B&PID_0002\\0000:00:14.0", "USB\\VID_03F0&PID_1853\\PHB1234567",
                                "USB\\VID_1A86&PID_55D3\\1-2", "USB\\VID_0781&PID_5567\\4C530001230815117223",
                                "USB\\VID_04F9&PID_0042\\000J5N123456", "USB\\VID_03F0&PID_C511\\TH9AB1C2D3",
                                "USB\\VID_04B8&PID_1181\\583834503031363251", "USB\\VID_04A9&PID_2771\\0000A1B2C3D4"}));
}

TEST_F(UsbPasses, TreeWalkSkipsDevicesGoneSinceTheSnapshot)
{
    DeviceTree tree(HardwareDatabase::empty());
    ASSERT_EQ(tree.build(), 0);
    m_bed.removeDevice("/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0");
    m_bed.removeDevice("/devices/pci0000:00/0000:00:14.0/usb1/1-4");
    std::vector<DeviceItem*> items;
    collectUsbNodes(tree.root(), items);
    EXPECT_EQ(items.size(), 7u);
    for (DeviceItem* item : items)
        EXPECT_FALSE(item->instanceId().startsWith("USB\\VID_04F9"));
}

TEST(UsbPassesFaults, BrokenSysfsReportsNothingAndStillHandsOverATree)
{
    QTemporaryDir dir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", dir.filePath("mysimple.log").toUtf8());
    testsupport::ScopedEnv root("KORVANE_SYSFS_ROOT", dir.filePath("missing").toUtf8());
    RecordingSearcher searcher;
    EXPECT_FALSE(searchUsbByClass(searcher));
    EXPECT_TRUE(searchUsbByTree(searcher));
    EXPECT_EQ(searcher.calls, (QStringList{"progress 1 1 3 0 0", "progress 3 1 4 0 0", "progress 3 1 4 0 0",
                                           "progress 3 1 4 0 0", "usb2 0"}));
    EXPECT_NE(searcher.tree, nullptr);
}

TEST(UsbPassesFaults, JunkDescriptorsStillGiveBoundedRecords)
{
    QTemporaryDir dir;
    testsupport::ScopedEnv log("KORVANE_DEVICE_LOG", dir.filePath("mysimple.log").toUtf8());
    UmockdevBed bed;
    ASSERT_TRUE(bed.addFixture("junk.umockdev")) << bed.error().toStdString();
    UsingBed using_(bed);
    const std::vector<USBPrinterInfo> printers = queryDevices(UsbPopulation::Printers);
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].mfg, "Junk") << "an id without the fields falls back to the descriptor";
    EXPECT_EQ(printers[0].deviceDesc, "Printer");
    for (const USBPrinterInfo& r : queryDevices(UsbPopulation::AllDevices)) {
        EXPECT_LE(r.deviceDesc.size(), 256);
        for (const QString& id : r.hardwareids)
            EXPECT_LE(id.size(), 300);
    }
}

struct OrderCase {
    QStringList raw;
    QStringList compatible;
    QStringList hardware;
};

class IdOrdering : public ::testing::TestWithParam<OrderCase> {};

TEST_P(IdOrdering, PutsTheTellingIdsFirst)
{
    EXPECT_EQ(orderCompatibleIds(GetParam().raw), GetParam().compatible);
    EXPECT_EQ(orderHardwareIds(GetParam().raw), GetParam().hardware);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, IdOrdering,
    ::testing::Values(OrderCase{{}, {}, {}},
                      OrderCase{{"A", "USBPRINT\\X", "B", "GENERICPRINT", "C"},
                                {"GENERICPRINT", "USBPRINT\\X", "A", "B", "C"},
                                {"USBPRINT\\X", "A", "B", "GENERICPRINT", "C"}},
                      OrderCase{{"USB\\1", "plain", "USB\\2"}, {"USB\\1", "plain", "USB\\2"},
                                {"USB\\2", "USB\\1", "plain"}},
                      OrderCase{{"usbprint\\lower"}, {"usbprint\\lower"}, {"usbprint\\lower"}}));

namespace {

class UsbPassesWithIppPrinter : public UsbPasses {
protected:
    void SetUp() override
    {
        UsbPasses::SetUp();
        ASSERT_TRUE(m_bed.addFixture("ipp-usb-printer.umockdev")) << m_bed.error().toStdString();
    }
};

}  // namespace

TEST_F(UsbPassesWithIppPrinter, IppOverUsbPrinterNothingServesIsOneDeviceWithoutADriver)
{
    RecordingSearcher searcher;
    EXPECT_FALSE(searchUsbByClass(searcher));
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[0]),
              (QStringList{"USB\\VID_03F0&PID_1853", "USB\\VID_04B8&PID_1181"}));
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[1]), QStringList{"USB\\VID_03F0&PID_C511"})
        << "only the printer whose IPP interface ipp-usb claims";
    ASSERT_EQ(firstHardwareIds(searcher.usb1Calls[2]),
              (QStringList{"USB\\VID_04F9&PID_0042", "USB\\VID_04A9&PID_2771", "USB\\VID_03F0&PID_3E2A"}));
    USBPrinterInfo expected;
    expected.compatibleids = QStringList{"USB\\Class_07&SubClass_01&Prot_04", "USB\\Class_07&SubClass_01",
                                         "USB\\Class_07", "USB\\COMPOSITE"};
    expected.hardwareids = QStringList{"USB\\VID_03F0&PID_3E2A", "USB\\VID_03F0&PID_3E2A&REV_0200"};
    expected.deviceDesc = "LaserJet MFP M234sdw";
    expected.searchMethod = 3;
    EXPECT_EQ(searcher.usb1Calls[2][2], expected);
}

TEST_F(UsbPasses, OneSearchAsksForThePrintQueuesOnce)
{
    int asked = 0;
    setPrintQueueProvider([&asked] {
        ++asked;
        return std::vector<PrintQueueBinding>{{"Canon_LBP", "usb://Canon/LBP6030/6040/6018L?serial=0000A1B2C3D4"}};
    });
    RecordingSearcher searcher;
    UsbSearchContext context;
    context.hwdb = &HardwareDatabase::empty();
    EXPECT_FALSE(searchUsbByClass(searcher, &context));
    EXPECT_TRUE(searchUsbByTree(searcher, &context));
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    EXPECT_EQ(searcher.usb1Calls[0].size(), 3u) << "the queue's printer";
    ASSERT_TRUE(searcher.tree);
    int queues = 0;
    for (DeviceItem* item : searcher.tree->items())
        queues += item->text(kSlotClass) == "PrintQueue" ? 1 : 0;
    EXPECT_EQ(queues, 1) << "the tree shows the queue read by the passes";
}

TEST_F(UsbPasses, SchedulerThatNeverAnswersIsAskedOncePerSearch)
{
    testsupport::SilentScheduler scheduler;
    ASSERT_TRUE(scheduler.listening());
    testsupport::ScopedEnv silent("CUPS_SERVER", scheduler.socketPath().toUtf8());
    installmonitor::useCupsPrintQueues();  // no printer monitor runs here: the scheduler itself is asked
    const int before = installmonitor::directQueueReads();
    RecordingSearcher searcher;
    UsbSearchContext context;
    context.hwdb = &HardwareDatabase::empty();
    EXPECT_FALSE(searchUsbByClass(searcher, &context));
    EXPECT_TRUE(searchUsbByTree(searcher, &context));
    EXPECT_EQ(installmonitor::directQueueReads() - before, 1) << "one bounded read for the passes and the tree";
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    EXPECT_EQ(firstHardwareIds(searcher.usb1Calls[0]),
              (QStringList{"USB\\VID_03F0&PID_1853", "USB\\VID_04B8&PID_1181"}))
        << "a silent scheduler costs the queues, not the printers";
    ASSERT_TRUE(searcher.items);
    EXPECT_EQ(searcher.items->size(), 8u);
}

TEST_F(UsbPasses, OnlyAQueueNamingTheDeviceMakesItInstalled)
{
    setPrintQueueProvider([] {
        return std::vector<PrintQueueBinding>{{"Canon_LBP", "usb://Canon/LBP6030/6040/6018L?serial=0000A1B2C3D4"},
                                              {"Canon_LBP_2", "usb://Canon/LBP6030/6040/6018L?serial=0000A1B2C3D4"}};
    });
    RecordingSearcher searcher;
    EXPECT_FALSE(searchUsbByClass(searcher));
    ASSERT_EQ(searcher.usb1Calls.size(), 3u);
    ASSERT_EQ(searcher.usb1Calls[0].size(), 3u);
    // The first two have usblp bound and no queue: not installed.
    EXPECT_EQ(searcher.usb1Calls[0][0].queues, QStringList());
    EXPECT_EQ(searcher.usb1Calls[0][1].queues, QStringList());
    EXPECT_EQ(searcher.usb1Calls[0][2].queues, (QStringList{"Canon_LBP", "Canon_LBP_2"}));
    EXPECT_TRUE(usbPrinterJson(searcher.usb1Calls[0][2]).contains("\"queues\":[\"Canon_LBP\",\"Canon_LBP_2\"]"));
    EXPECT_FALSE(usbPrinterJson(searcher.usb1Calls[0][0]).contains("queues"));
}
