// Which uevents are device changes a window hears of, and the status object
// the install monitor's page receives.

#include "devicetree/devicetree.h"
#include "discovery/devicemonitor.h"
#include "discovery/installmonitorstatus.h"
#include "discovery/monitor_bed.h"

#include <gtest/gtest.h>

using namespace monitortest;
using devicemonitor::Uevent;

namespace {

struct ClassCase {
    const char* name;
    Uevent event;
    const char* expected;
};

void PrintTo(const ClassCase& value, std::ostream* out)
{
    *out << value.name;
}

class MonitorUeventClass : public ::testing::TestWithParam<ClassCase> {};

TEST_P(MonitorUeventClass, FollowsTheDeviceKind)
{
    EXPECT_EQ(devicemonitor::interfaceClassOf(GetParam().event), QString::fromLatin1(GetParam().expected));
}

const char* const kPrinter = devicemonitor::kPrinterInterfaceClass;
const char* const kUsbDevice = devicemonitor::kUsbDeviceInterfaceClass;

INSTANTIATE_TEST_SUITE_P(
    Monitor, MonitorUeventClass,
    ::testing::Values(
        ClassCase{"UsbDevice", {"add", "usb", "usb_device", "1-1", "", "/sys/devices/x/1-1"}, kUsbDevice},
        ClassCase{"PrinterInterface", {"add", "usb", "usb_interface", "1-1:1.0", "7/1/2", ""}, kPrinter},
        ClassCase{"IppOverUsbInterface", {"remove", "usb", "usb_interface", "1-1:1.1", "7/1/4", ""}, kPrinter},
        ClassCase{"StorageInterface", {"add", "usb", "usb_interface", "1-3:1.0", "8/6/80", ""}, ""},
        ClassCase{"InterfaceOfUnknownClass", {"add", "usb", "usb_interface", "1-3:1.0", "", ""}, ""},
        ClassCase{"GarbledInterface", {"add", "usb", "usb_interface", "1-3:1.0", "seven/1/2", ""}, ""},
        ClassCase{"LineSpoolerNode", {"add", "usbmisc", "", "lp0", "", ""}, kPrinter},
        ClassCase{"OtherUsbmiscNode", {"add", "usbmisc", "", "hiddev0", "", ""}, ""},
        ClassCase{"LpWithoutNumber", {"add", "usbmisc", "", "lpx", "", ""}, ""},
        ClassCase{"Endpoint", {"add", "usb", "usb_endpoint", "ep_00", "", ""}, ""},
        ClassCase{"Disk", {"add", "block", "disk", "sda", "", ""}, ""}),
    [](const ::testing::TestParamInfo<ClassCase>& param) { return std::string(param.param.name); });

TEST(MonitorUeventAction, AddBindAndRemoveAreChanges)
{
    const auto code = [](const char* action, const char* devtype) {
        return devicemonitor::eventCodeOf(Uevent{action, "usb", devtype, "1-1:1.0", "7/1/2", ""});
    };
    EXPECT_EQ(code("add", "usb_interface"), webui::msg::kDeviceArrival);
    EXPECT_EQ(code("add", "usb_device"), webui::msg::kDeviceArrival);
    EXPECT_EQ(code("remove", "usb_interface"), webui::msg::kDeviceRemoveComplete);
    EXPECT_EQ(code("remove", "usb_device"), webui::msg::kDeviceRemoveComplete);
    EXPECT_EQ(code("bind", "usb_interface"), webui::msg::kDeviceArrival) << "its driver came";
    EXPECT_EQ(code("bind", "usb_device"), 0u) << "every device gets the generic driver";
    for (const char* action : {"unbind", "change", "move", "online", "", "ADD"})
        EXPECT_EQ(code(action, "usb_interface"), 0u) << action;
}

TEST(MonitorStatusObject, KeepsThePageKeyOrder)
{
    installmonitor::UsbStatus status;
    EXPECT_EQ(installmonitor::usbStatusJson(status), R"({"code":true,"connected ":false})");
    status.connected = true;
    EXPECT_EQ(installmonitor::usbStatusJson(status),
              R"({"connected ":true,"usbprint":false,"printQueue":[],"code":true})");
    status.usbprint = true;
    status.printQueue = QStringList{"Office", "Q\"uote\\d", QString::fromUtf8("打印机") + QChar(0x2028)};
    EXPECT_EQ(installmonitor::usbStatusJson(status),
              QString::fromUtf8(R"({"connected ":true,"usbprint":true,"printQueue":["Office","Q\"uote\\d","打印机\u2028"],"code":true})"));
}

struct StatusCase {
    const char* name;
    std::vector<const char*> fixtures;
    const char* deviceId;
    const char* expected;
};

void PrintTo(const StatusCase& value, std::ostream* out)
{
    *out << value.name;
}

class MonitorFixtureStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(MonitorFixtureStatus, DescribesTheChosenDevice)
{
    EventBed bed;
    ASSERT_TRUE(bed.plug("hub"));
    for (const char* fixture : GetParam().fixtures)
        ASSERT_TRUE(bed.plug(fixture)) << bed.error().toStdString();
    testsupport::ScopedEnv sysfs("KORVANE_SYSFS_ROOT", bed.sysfsRoot().toUtf8());
    DeviceTree tree(devicetree::HardwareDatabase::empty());
    ASSERT_TRUE(installmonitor::rebuildTree(tree));
    const installmonitor::UsbStatus status = installmonitor::readUsbStatus(tree, GetParam().deviceId);
    EXPECT_EQ(installmonitor::usbStatusJson(status), QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, MonitorFixtureStatus,
    ::testing::Values(
        StatusCase{"WatchedPrinter", {"printer"}, "USB\\VID_03F0&PID_1853",
                   R"({"connected ":true,"usbprint":true,"printQueue":[],"code":true})"},
        StatusCase{"WholeInstanceId", {"printer"}, "USB\\VID_03F0&PID_1853\\PHB1234567",
                   R"({"connected ":true,"usbprint":true,"printQueue":[],"code":true})"},
        StatusCase{"IdsAreCaseSensitive", {"printer"}, "usb\\vid_03f0&pid_1853", R"({"code":true,"connected ":false})"},
        StatusCase{"Composite", {"composite", "unrelated"}, "USB\\VID_03F0&PID_5417",
                   R"({"connected ":true,"usbprint":true,"printQueue":[],"code":true})"},
        StatusCase{"DeviceWithoutPrinterDriver", {"printer", "unrelated"}, "USB\\VID_0781&PID_5567",
                   R"({"connected ":true,"usbprint":false,"printQueue":[],"code":true})"},
        StatusCase{"Absent", {"unrelated"}, "USB\\VID_03F0&PID_1853", R"({"code":true,"connected ":false})"},
        StatusCase{"SiblingsDoNotCount", {"unrelated", "printer"}, "USB\\VID_0781",
                   R"({"connected ":true,"usbprint":false,"printQueue":[],"code":true})"}),
    [](const ::testing::TestParamInfo<StatusCase>& param) { return std::string(param.param.name); });

TEST(MonitorFixtureStatus, TreeThatCannotBeBuiltIsEmpty)
{
    testsupport::ScopedEnv sysfs("KORVANE_SYSFS_ROOT", "/nonexistent/korvane-monitor-test/sys");
    DeviceTree tree(devicetree::HardwareDatabase::empty());
    EXPECT_FALSE(installmonitor::rebuildTree(tree));
    EXPECT_FALSE(installmonitor::anyNodeStartsWith(tree, QString()));
    EXPECT_EQ(installmonitor::usbStatusJson(installmonitor::readUsbStatus(tree, QString())),
              R"({"code":true,"connected ":false})");
}

}  // namespace
