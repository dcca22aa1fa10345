// The install monitor with a private CUPS scheduler: the print queues of the
// watched printer in its status, and printers added with a wireless port.

#include "discovery/devicemonitor.h"
#include "discovery/monitor_bed.h"
#include "discovery/monitor_window.h"
#include "printers/printerapi.h"

#include <QProcess>
#include <vector>

using namespace monitortest;
namespace msg = webui::msg;

namespace {

const QString kWirelessPort = QStringLiteral("ipp://127.0.0.1:1/ipp/print/KorvaneWireless");

bool lpadmin(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("lpadmin"), arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool addQueue(const QString& name, const QString& deviceUri)
{
    return lpadmin({"-p", name, "-E", "-v", deviceUri});
}

// Removes the queues a test made, whatever happened in it.
class Queues {
public:
    ~Queues()
    {
        for (const QString& name : m_names)
            lpadmin({"-x", name});
    }
    bool add(const QString& name, const QString& deviceUri)
    {
        m_names << name;
        return addQueue(name, deviceUri);
    }
    bool remove(const QString& name)
    {
        m_names.removeAll(name);
        return lpadmin({"-x", name});
    }

private:
    QStringList m_names;
};

// Subscribed to printer additions after the window under test, so a change
// has reached the window once it has reached this.
class AdditionRecorder : public webui::WindowMessageTarget {
public:
    AdditionRecorder()
    {
        webui::WindowRegistry::instance().add(kHandle, this);
        PrinterAPI::PrinterMonitor::instance().subscribe(kHandle, 0x1);
    }
    ~AdditionRecorder() override
    {
        PrinterAPI::PrinterMonitor::instance().unsubscribe(kHandle);
        webui::WindowRegistry::instance().remove(kHandle);
    }
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        if (message.message == msg::kPrinterChanged && message.payload)
            added << std::static_pointer_cast<PrinterAPI::PrinterChange>(message.payload)->printerName;
        return 0;
    }
    bool waitFor(const QString& name)
    {
        return testsupport::waitFor([&] { return added.contains(name); }, std::chrono::seconds(30));
    }
    QStringList added;

private:
    static constexpr webui::WindowHandle kHandle = 0x7e5702;
};

class MonitorWithCups : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("CUPS_SERVER"));
        ASSERT_TRUE(bed.plug("hub"));
        ASSERT_TRUE(bed.plug("printer"));
    }

    // The change monitor has read the scheduler once: what is added from now
    // on is reported as added.
    static bool monitorHasReadTheQueues()
    {
        return testsupport::waitFor([] { return PrinterAPI::PrinterMonitor::instance().knownQueuePorts().has_value(); },
                                    std::chrono::seconds(30));
    }

    EventBed bed;
    testsupport::ScopedEnv sysfs{"KORVANE_SYSFS_ROOT", bed.sysfsRoot().toUtf8()};
    PageWindows windows;
    Queues queues;
};

}  // namespace

TEST_F(MonitorWithCups, QueueNamingThePrinterAppearsInItsStatus)
{
    InstallMonitorBlkWindow* window = windows.open(kWatchedId);
    ASSERT_TRUE(window);
    ASSERT_TRUE(monitorHasReadTheQueues());
    AdditionRecorder recorder;

    // A queue for another printer of the same model changes nothing.
    ASSERT_TRUE(queues.add("Elsewhere_M404", "usb://HP/LaserJet%20Pro%20M404-M405?serial=NOTTHISONE"));
    ASSERT_TRUE(recorder.waitFor("Elsewhere_M404"));
    EXPECT_TRUE(windows.calls(window).isEmpty());

    ASSERT_TRUE(queues.add("Office_M404", "usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567"));
    EXPECT_EQ(windows.waitForCalls(window, 1),
              QStringList{
                  R"(notifyPrinterChangedByCpp[{"connected ":true,"usbprint":true,"printQueue":["Office_M404"],"code":true}])"});

    ASSERT_TRUE(queues.remove("Office_M404"));
    EXPECT_EQ(windows.waitForCalls(window, 2).value(1),
              R"(notifyPrinterChangedByCpp[{"connected ":true,"usbprint":true,"printQueue":[],"code":true}])");
    EXPECT_EQ(windows.calls(window).size(), 2);
}

TEST_F(MonitorWithCups, AddedPrinterWithTheWirelessPortIsReported)
{
    InstallMonitorBlkWindow* window = windows.open(std::nullopt, [](InstallMonitorBlkWindow& w) {
        w.setWirelessWatch("KorvaneWireless", "Living room", QString::fromUtf8("打印机"));
    });
    ASSERT_TRUE(window);
    AdditionRecorder recorder;

    ASSERT_TRUE(queues.add("Plain_Queue", "file:///dev/null"));
    ASSERT_TRUE(queues.add("Wireless_Queue", kWirelessPort));
    ASSERT_TRUE(recorder.waitFor("Plain_Queue"));
    ASSERT_TRUE(recorder.waitFor("Wireless_Queue"));
    EXPECT_EQ(windows.calls(window),
              QStringList{QString::fromUtf8(R"(notifyWirelessPrintQueue["KorvaneWireless","Living room","打印机"])")});
}

TEST_F(MonitorWithCups, WindowWatchingAUsbDeviceIgnoresAddedPrinters)
{
    InstallMonitorBlkWindow* window = windows.open(kWatchedId, [](InstallMonitorBlkWindow& w) {
        w.setWirelessWatch("KorvaneWireless", "a", "b");
    });
    ASSERT_TRUE(window);
    AdditionRecorder recorder;

    ASSERT_TRUE(queues.add("Wireless_Watched", kWirelessPort));
    ASSERT_TRUE(recorder.waitFor("Wireless_Watched"));
    EXPECT_TRUE(windows.calls(window).isEmpty());
}

TEST_F(MonitorWithCups, EmptyWirelessKeyLooksForNothing)
{
    InstallMonitorBlkWindow* window = windows.open(std::nullopt);
    ASSERT_TRUE(window);
    AdditionRecorder recorder;

    ASSERT_TRUE(queues.add("Wireless_Unwatched", kWirelessPort));
    ASSERT_TRUE(recorder.waitFor("Wireless_Unwatched"));
    EXPECT_TRUE(windows.calls(window).isEmpty());
}

TEST_F(MonitorWithCups, PrinterThatCannotBeReadIsIgnored)
{
    InstallMonitorBlkWindow* window = windows.open(std::nullopt, [](InstallMonitorBlkWindow& w) {
        w.setWirelessWatch("/", "a", "b");
    });
    ASSERT_TRUE(window);
    for (const QString& name : {QStringLiteral("No_Such_Queue"), QStringLiteral("bad/name"), QString(),
                                QString(300, QLatin1Char('x'))}) {
        auto change = std::make_shared<PrinterAPI::PrinterChange>();
        change->changed = 0x1;
        change->printerName = name;
        EXPECT_EQ(webui::sendWindowMessage(window->handle(), {msg::kPrinterChanged, 0x1, 0, change}), 0);
        EXPECT_EQ(change.use_count(), 1) << "the window keeps nothing of it";
    }
    EXPECT_EQ(webui::sendWindowMessage(window->handle(), {msg::kPrinterChanged, 0x1, 0, {}}), 0);
    EXPECT_TRUE(windows.calls(window).isEmpty());
}
