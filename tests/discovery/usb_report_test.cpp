// What the page receives about USB hits: record JSON, device reports and
// "printerList".

#include "devicetree/devicetree.h"
#include "devicetree/umockdevbed.h"
#include "discovery/usbprinters.h"
#include "discovery/usbreport.h"
#include "webui/pagejson.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace devicetree;

namespace {

class UsbReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bed.addFixture("usb-printers.umockdev")) << m_bed.error().toStdString();
        ASSERT_EQ(m_tree.build(), 0);
        collectUsbNodes(m_tree.root(), m_items);
        ASSERT_EQ(m_items.size(), 8u);
    }

    DeviceItem* item(const QString& prefix) const
    {
        for (DeviceItem* i : m_items) {
            if (i->instanceId().startsWith(prefix))
                return i;
        }
        return nullptr;
    }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_log{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
    UmockdevBed m_bed;
    UsingBed m_using{m_bed};
    DeviceTree m_tree{HardwareDatabase::empty()};
    std::vector<DeviceItem*> m_items;
};

// The text the page receives.
QString compact(const QJsonArray& array)
{
    return webui::pageJson(array);
}

}  // namespace

TEST(UsbPrinterJson, IsCompactWithSortedKeysAndEmptyArraysKept)
{
    USBPrinterInfo record;
    record.deviceDesc = "LaserJet \"Pro\"";
    record.mfg = "HP";
    record.hardwareids = QStringList{"USB\\VID_03F0&PID_1853"};
    record.searchMethod = 3;
    EXPECT_EQ(usbPrinterJson(record),
              "{\"compatibleids\":[],\"deviceDesc\":\"LaserJet \\\"Pro\\\"\",\"friendlyName\":\"\","
              "\"hardwareids\":[\"USB\\\\VID_03F0&PID_1853\"],\"mfg\":\"HP\",\"searchMethod\":3}");
}

TEST(UsbPrinterJson, CarriesTheSerialNumberOnlyWhenKnown)
{
    USBPrinterInfo record;
    record.mfg = "HP";
    record.serial = "PHB1234567";
    EXPECT_EQ(usbPrinterJson(record),
              "{\"compatibleids\":[],\"deviceDesc\":\"\",\"friendlyName\":\"\",\"hardwareids\":[],\"mfg\":\"HP\","
              "\"searchMethod\":0,\"serial\":\"PHB1234567\"}");
}

TEST_F(UsbReport, PrinterIsReportedWithItsInterfaceAndPort)
{
    const std::optional<QJsonArray> report = usbDeviceReport(item("USB\\VID_03F0&PID_1853"), defaultUsbServiceFilter());
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(compact(*report),
              R"([{"Name":"LaserJet Pro M404dn","Manu":"HP","Service":"usbccgp","Class":"USB","Enumerator":"USB",)"
              R"("Instanceid":"USB\\VID_03F0&PID_1853\\PHB1234567","ParentInstanceid":"",)"
              R"("Hardwareid":"USB\\VID_03F0&PID_1853&REV_0100"},)"
              R"({"Name":"USB Printing Support","Manu":"HP","Service":"usbprint","Class":"Printer","Enumerator":"USB",)"
              R"("Instanceid":"USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0",)"
              R"("ParentInstanceid":"USB\\VID_03F0&PID_1853\\PHB1234567","Hardwareid":"USB\\VID_03F0&PID_1853&REV_0100&MI_00"},)"
              R"({"Name":"lp0","Manu":"","Service":"","Class":"usbmisc","Enumerator":"USBMISC","Instanceid":"USBMISC\\lp0",)"
              R"("ParentInstanceid":"USB\\VID_03F0&PID_1853&MI_00\\1-1:1.0","Hardwareid":""}])");
}

TEST_F(UsbReport, CompositeDeviceListsItsPartsInSubtreeOrder)
{
    const std::optional<QJsonArray> report = usbDeviceReport(item("USB\\VID_1A86"), defaultUsbServiceFilter());
    ASSERT_TRUE(report.has_value());
    QStringList ids;
    for (const QJsonValue& v : *report)
        ids << v.toObject().value("Instanceid").toString();
    EXPECT_EQ(ids, (QStringList{"USB\\VID_1A86&PID_55D3\\1-2", "USB\\VID_1A86&PID_55D3&MI_00\\1-2:1.0",
                                "USB\\VID_1A86&PID_55D3&MI_01\\1-2:1.1", "TTY\\ttyACM0"}));
}

struct FilterCase {
    const char* name;
    const char* device;
    QStringList filter;
    int objects;  // -1: not reported
};

class UsbReportFilter : public UsbReport, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(UsbReportFilter, ServiceFilterKeepsDevicesOut)
{
    const std::optional<QJsonArray> report = usbDeviceReport(item(GetParam().device), GetParam().filter);
    if (GetParam().objects < 0)
        EXPECT_FALSE(report.has_value());
    else
        EXPECT_EQ(report.value_or(QJsonArray()).size(), GetParam().objects);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, UsbReportFilter,
    ::testing::Values(FilterCase{"StorageFiltered", "USB\\VID_0781&PID_5567", defaultUsbServiceFilter(), -1},
                      FilterCase{"StorageUnfiltered", "USB\\VID_0781&PID_5567", {}, 4},
                      FilterCase{"RootHubFiltered", "USB\\VID_1D6B&PID_0002", defaultUsbServiceFilter(), -1},
                      FilterCase{"PrinterFilteredByName", "USB\\VID_03F0&PID_1853", {"usbprint"}, -1},
                      FilterCase{"FilterIsExactAndCaseSensitive", "USB\\VID_03F0&PID_1853", {"USBPRINT", "usbprin"}, 3},
                      FilterCase{"DriverlessDevice", "USB\\VID_04F9&PID_0042", defaultUsbServiceFilter(), 2},
                      FilterCase{"IppOverUsbPrinter", "USB\\VID_03F0&PID_C511", defaultUsbServiceFilter(), 3},
                      FilterCase{"UnboundPrinter", "USB\\VID_04A9&PID_2771", defaultUsbServiceFilter(), 2}),
    [](const ::testing::TestParamInfo<FilterCase>& p) { return std::string(p.param.name); });

TEST_F(UsbReport, ReportedItemHasNoParentIdAndNothingOutsideItsContainer)
{
    DeviceItem* hub = m_tree.root();
    ASSERT_NE(hub, nullptr);
    const std::optional<QJsonArray> report = usbDeviceReport(item("USB\\VID_1D6B&PID_0002"), {});
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->size(), 2) << "the root hub and its interface, not the devices on its ports";
    EXPECT_EQ(report->at(0).toObject().value("ParentInstanceid").toString(), "");
    EXPECT_FALSE(usbDeviceReport(nullptr, {}).has_value());
}

TEST_F(UsbReport, PrinterListNamesEachPrinterOnce)
{
    EXPECT_EQ(printerList(HardwareDatabase::empty()),
              "[\n"
              "    {\n"
              "        \"desc\": \"LaserJet Pro M404-M405\",\n"
              "        \"hardid\": \"USBPRINT\\\\HPLaserJet_Pro_M404-M405\"\n"
              "    },\n"
              "    {\n"
              "        \"desc\": \"ET-2810 Series\",\n"
              "        \"hardid\": \"USBPRINT\\\\EPSONET-2810_Series\"\n"
              "    }\n"
              "]\n");
}

TEST(PrinterList, IsAnEmptyArrayWithoutPrinters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("devices"));
    testsupport::ScopedEnv root("KORVANE_SYSFS_ROOT", dir.path().toUtf8());
    EXPECT_EQ(printerList(HardwareDatabase::empty()), "[]");
    testsupport::ScopedEnv missing("KORVANE_SYSFS_ROOT", dir.filePath("missing").toUtf8());
    EXPECT_EQ(printerList(HardwareDatabase::empty()), "[]");
}
