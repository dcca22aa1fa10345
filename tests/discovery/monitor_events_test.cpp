// What the install monitor's page hears when USB devices come and go: real
// uevents from a umockdev test bed, received through libudev's monitor (the
// binary runs under umockdev-wrapper).

#include "discovery/devicemonitor.h"
#include "discovery/monitor_bed.h"
#include "discovery/monitor_window.h"
#include "discovery/silentscheduler.h"

#include "discovery/installmonitorqueues.h"
#include "printers/printerapi.h"

#include <QJsonObject>
#include <vector>

using namespace monitortest;
namespace msg = webui::msg;

namespace {

const QString kPrinterThere =
    R"(notifyPrinterChangedByCpp[{"connected ":true,"usbprint":true,"printQueue":[],"code":true}])";
const QString kPrinterGone = R"(notifyPrinterChangedByCpp[{"code":true,"connected ":false}])";
const QString kPlugged = QStringLiteral("notifyUSBChangedByCpp[true]");
const QString kUnplugged = QStringLiteral("notifyUSBChangedByCpp[false]");

std::shared_ptr<devicemonitor::DeviceBroadcastInterface> broadcast(const char* classGuid,
                                                                  std::uint32_t deviceType =
                                                                      devicemonitor::kDeviceTypeInterface)
{
    auto header = std::make_shared<devicemonitor::DeviceBroadcastInterface>();
    header->classGuid = QString::fromLatin1(classGuid);
    header->deviceType = deviceType;
    return header;
}

class MonitorEvents : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bed.plug("hub")) << bed.error().toStdString(); }

    EventBed bed;
    testsupport::ScopedEnv sysfs{"KORVANE_SYSFS_ROOT", bed.sysfsRoot().toUtf8()};
    testsupport::ScopedEnv cups{"CUPS_SERVER", "/nonexistent/korvane-monitor-test/cups.sock"};
    PageWindows windows;
};

// A window in the registry that keeps the device changes it is sent.
class RecordingWindow : public webui::WindowMessageTarget {
public:
    explicit RecordingWindow(webui::WindowHandle handle)
        : m_handle(handle)
    {
        webui::WindowRegistry::instance().add(handle, this);
    }
    ~RecordingWindow() override { webui::WindowRegistry::instance().remove(m_handle); }
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        if (message.message == msg::kDeviceChange)
            received.push_back(message);
        return 1;
    }
    std::vector<webui::WindowMessage> received;

private:
    webui::WindowHandle m_handle;
};

}  // namespace

TEST_F(MonitorEvents, MonitorPostsArrivalsOfTheRegisteredClassOnly)
{
    RecordingWindow window(0x7e5701);
    devicemonitor::DeviceChangeMonitor monitor(0x7e5701);
    ASSERT_TRUE(monitor.registerInterfaceClass(devicemonitor::kPrinterInterfaceClass));

    ASSERT_TRUE(bed.plug("printer"));
    ASSERT_TRUE(testsupport::waitFor([&] { return window.received.size() >= 2; }, std::chrono::seconds(20)));
    QCoreApplication::processEvents();
    ASSERT_EQ(window.received.size(), 2u) << "the interface and its lp node, not the device";
    for (std::size_t i = 0; i < 2; ++i) {
        const webui::WindowMessage& message = window.received[i];
        EXPECT_EQ(message.wParam, msg::kDeviceArrival);
        const auto header = std::static_pointer_cast<devicemonitor::DeviceBroadcastInterface>(message.payload);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->deviceType, devicemonitor::kDeviceTypeInterface);
        EXPECT_EQ(header->size, 32u);
        EXPECT_EQ(header->classGuid, devicemonitor::kPrinterInterfaceClass);
        EXPECT_TRUE(header->name.endsWith(kWatchedPrinter[i + 1])) << header->name.toStdString();
    }

    bed.unplug(kWatchedPrinter);
    ASSERT_TRUE(testsupport::waitFor([&] { return window.received.size() >= 4; }, std::chrono::seconds(20)));
    EXPECT_EQ(window.received[2].wParam, msg::kDeviceRemoveComplete);
    EXPECT_EQ(window.received[3].wParam, msg::kDeviceRemoveComplete);
}

TEST_F(MonitorEvents, PluggingTheWatchedPrinterReportsItAndItsPrinterInterface)
{
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->hearsDeviceChanges());

    ASSERT_TRUE(bed.plug("printer"));
    // The device, then its printer interface; the interface's lp node
    // changes nothing the page was told.
    ASSERT_TRUE(windows.settle(window, 3));
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPlugged, kPrinterThere}));
}

TEST_F(MonitorEvents, DriverBindingThatChangesNothingIsNotReportedAgain)
{
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    ASSERT_TRUE(bed.plug("printer"));
    ASSERT_TRUE(windows.settle(window, 3));

    // Only the last of these is a device change; the status it finds is the
    // one the page already has.
    bed.uevent(kWatchedPrinter[0], "bind");  // the generic USB driver
    bed.uevent(kWatchedPrinter[1], "unbind");
    bed.uevent(kWatchedPrinter[1], "change");
    bed.uevent(kWatchedPrinter[1], "bind");
    ASSERT_TRUE(windows.settle(window, 4));
    bed.unplug(kWatchedPrinter);
    ASSERT_TRUE(windows.settle(window, 7));
    EXPECT_EQ(windows.waitForCalls(window, 4), (QStringList{kPlugged, kPrinterThere, kPrinterGone, kUnplugged}));
}

TEST_F(MonitorEvents, UnpluggingTheWatchedPrinterReportsItGone)
{
    ASSERT_TRUE(bed.plug("printer"));
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);

    bed.unplug(kWatchedPrinter);
    // The lp node goes first and is told once; its interface finds the
    // device already gone and says nothing more; then the device itself.
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPrinterGone, kUnplugged}));
}

TEST_F(MonitorEvents, CompositeDeviceIsServedByUsbprintThroughItsPrinterChild)
{
    InstallMonitorBlkWindow* window = windows.open(kCompositeId);
    ASSERT_TRUE(window);

    ASSERT_TRUE(bed.plug("composite"));
    ASSERT_TRUE(windows.settle(window, 3));
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPlugged, kPrinterThere}));
}

TEST_F(MonitorEvents, UnrelatedDevicesCauseNoCallWhileTheWatchedOneIsAbsent)
{
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);

    // Device changes heard: the storage device (1), the other printer with
    // its interface and lp node (3), and their removal (3).
    ASSERT_TRUE(bed.plug("unrelated"));
    ASSERT_TRUE(windows.settle(window, 1));
    ASSERT_TRUE(bed.plug("otherprinter"));
    ASSERT_TRUE(windows.settle(window, 4));
    bed.unplug(kOtherPrinter);
    ASSERT_TRUE(windows.settle(window, 7));
    EXPECT_TRUE(windows.calls(window).isEmpty());

    ASSERT_TRUE(bed.plug("printer"));
    ASSERT_TRUE(windows.settle(window, 10));
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPlugged, kPrinterThere}));
}

TEST_F(MonitorEvents, UnrelatedDevicesRepeatThePresenceOfTheWatchedOne)
{
    ASSERT_TRUE(bed.plug("printer"));
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);

    ASSERT_TRUE(bed.plug("unrelated"));  // still there
    ASSERT_TRUE(windows.settle(window, 1));
    bed.unplug(kUnrelated);  // nothing
    ASSERT_TRUE(windows.settle(window, 2));
    ASSERT_TRUE(bed.plug("otherprinter"));  // still there; the watched one's status is unchanged
    ASSERT_TRUE(windows.settle(window, 5));
    bed.unplug(kWatchedPrinter);
    ASSERT_TRUE(windows.settle(window, 8));
    EXPECT_EQ(windows.waitForCalls(window, 4), (QStringList{kPlugged, kPlugged, kPrinterGone, kUnplugged}));
}

TEST_F(MonitorEvents, EmptyWatchedIdMatchesAnyDevice)
{
    InstallMonitorBlkWindow* window = windows.open(QString());
    ASSERT_TRUE(window);

    ASSERT_TRUE(bed.plug("unrelated"));
    EXPECT_EQ(windows.waitForCalls(window, 1), QStringList{kPlugged});
}

TEST_F(MonitorEvents, WithoutTheEventSocketNoDeviceChangeIsReported)
{
    testsupport::ScopedEnv off("KORVANE_DEVICE_EVENTS", "off");
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->hearsDeviceChanges());

    ASSERT_TRUE(bed.plug("printer"));
    QCoreApplication::processEvents();
    // A change that does arrive, as the last word: nothing came before it.
    webui::postWindowMessage(window->handle(), msg::kDeviceChange, msg::kDeviceArrival, 0,
                             broadcast(devicemonitor::kPrinterInterfaceClass));
    EXPECT_EQ(windows.waitForCalls(window, 1), QStringList{kPrinterThere});
}

TEST_F(MonitorEvents, TreeThatCannotBeBuiltCountsAsEmpty)
{
    ASSERT_TRUE(bed.plug("printer"));
    testsupport::ScopedEnv nowhere("KORVANE_SYSFS_ROOT", "/nonexistent/korvane-monitor-test/sys");
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->usbStatus().connected);

    bed.unplug(kWatchedPrinter);
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPrinterGone, kUnplugged}));
}

TEST_F(MonitorEvents, WindowWatchingNoDeviceAnswersAndCallsNothing)
{
    InstallMonitorBlkWindow* window = windows.open(std::nullopt);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->watchUsb());
    ASSERT_TRUE(bed.plug("printer"));

    for (const char* cls : {devicemonitor::kPrinterInterfaceClass, devicemonitor::kUsbDeviceInterfaceClass}) {
        EXPECT_EQ(webui::sendWindowMessage(window->handle(),
                                           {msg::kDeviceChange, msg::kDeviceArrival, 0, broadcast(cls)}),
                  1);
    }
    EXPECT_TRUE(windows.calls(window).isEmpty());
}

struct OtherChange {
    const char* name;
    std::uintptr_t event;
    const char* classGuid;
    std::uint32_t deviceType;
    bool payload;
};

void PrintTo(const OtherChange& value, std::ostream* out)
{
    *out << value.name;
}

class MonitorOtherDeviceChanges : public MonitorEvents, public ::testing::WithParamInterface<OtherChange> {};

TEST_P(MonitorOtherDeviceChanges, AreAnsweredWithoutACall)
{
    ASSERT_TRUE(bed.plug("printer"));
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    const OtherChange& change = GetParam();
    webui::WindowMessage message{msg::kDeviceChange, change.event, 0, {}};
    if (change.payload)
        message.payload = broadcast(change.classGuid, change.deviceType);
    EXPECT_EQ(webui::sendWindowMessage(window->handle(), message), 1);
    EXPECT_TRUE(windows.calls(window).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, MonitorOtherDeviceChanges,
    ::testing::Values(OtherChange{"NodesChanged", 0x0007, devicemonitor::kPrinterInterfaceClass, 5, true},
                      OtherChange{"QueryRemove", 0x8001, devicemonitor::kPrinterInterfaceClass, 5, true},
                      OtherChange{"VolumeHeader", msg::kDeviceArrival, devicemonitor::kPrinterInterfaceClass, 2, true},
                      OtherChange{"OtherClass", msg::kDeviceArrival, "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", 5,
                                  true},
                      OtherChange{"NoHeader", msg::kDeviceArrival, "", 5, false}),
    [](const ::testing::TestParamInfo<OtherChange>& param) { return std::string(param.param.name); });

TEST_F(MonitorEvents, PageCanAskForTheStatusItself)
{
    ASSERT_TRUE(bed.plug("printer"));
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);

    const QJsonObject watched = windows.run(window, "usbStatus()").toObject();
    EXPECT_EQ(watched, (QJsonObject{{"connected ", true}, {"usbprint", true}, {"printQueue", QJsonArray{}},
                                    {"code", true}}));
    const QJsonObject other = windows.run(window, "usbStatus('USB\\\\VID_04F9&PID_0042')").toObject();
    EXPECT_EQ(other, (QJsonObject{{"code", true}, {"connected ", false}}));
    // The members reach the page in their order.
    EXPECT_EQ(windows.run(window, "JSON.stringify(usbStatus())").toString(),
              R"({"connected ":true,"usbprint":true,"printQueue":[],"code":true})");
    EXPECT_EQ(windows.run(window, "JSON.stringify(usbStatus('USB\\\\VID_04F9'))").toString(),
              R"({"code":true,"connected ":false})");
}

TEST_F(MonitorEvents, SchedulerThatNeverAnswersIsNotAskedFromTheWindow)
{
    testsupport::SilentScheduler scheduler;
    ASSERT_TRUE(scheduler.listening());
    testsupport::ScopedEnv silent("CUPS_SERVER", scheduler.socketPath().toUtf8());
    const int directBefore = installmonitor::directQueueReads();
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    ASSERT_TRUE(PrinterAPI::PrinterMonitor::instance().running());

    ASSERT_TRUE(bed.plug("printer"));
    ASSERT_TRUE(windows.settle(window, 3));
    EXPECT_EQ(windows.waitForCalls(window, 2), (QStringList{kPlugged, kPrinterThere}));
    EXPECT_EQ(windows.run(window, "JSON.stringify(usbStatus())").toString(),
              R"({"connected ":true,"usbprint":true,"printQueue":[],"code":true})");
    // Each snapshot took the queues from the change monitor, which has no
    // reading of a scheduler that never answers: none of the window's
    // snapshots waited for it on the UI thread.
    EXPECT_EQ(installmonitor::directQueueReads(), directBefore);
}
