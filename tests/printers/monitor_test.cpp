// The change monitor against its own private scheduler: what a subscribed
// window is told when queues are added, changed, stopped, deleted, and when
// the scheduler goes away and comes back.

#include "printers/printerapi.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"
#include "support/testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;
namespace w = PrinterAPI::win32printer;

namespace {

constexpr webui::WindowHandle kMainWindow = 0x7001;
constexpr webui::WindowHandle kInstallWindow = 0x7002;

bool hasField(const PrinterChange& change, std::uint32_t field)
{
    return std::find(change.notifyFields.begin(), change.notifyFields.end(), field) != change.notifyFields.end();
}

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrinterMonitor::instance().start(window.handle(), w::kChangeAll);
        ASSERT_TRUE(testsupport::waitFor([] { return !PrinterMonitor::instance().notificationMethod().isEmpty(); },
                                         std::chrono::seconds(10)));
        // The first reading is taken right after subscribing.
        testsupport::waitFor([] { return false; }, std::chrono::milliseconds(300));
    }
    void TearDown() override
    {
        PrinterMonitor::instance().unsubscribe(window.handle());
        PrinterMonitor::instance().stop();
    }
    RecordingWindow window{kMainWindow};
};

QString bed()
{
    return qEnvironmentVariable("KORVANE_CUPS_BED");
}
QString bedDir()
{
    return qEnvironmentVariable("KORVANE_CUPS_BED_DIR");
}

}  // namespace

TEST_F(MonitorTest, PollsWhenThereIsNoSystemBus)
{
    EXPECT_EQ(PrinterMonitor::instance().notificationMethod(), "ippget");
}

TEST_F(MonitorTest, AddedQueueIsReportedWithNameAndServer)
{
    ASSERT_TRUE(addQueue("mon_added"));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeAddPrinter && c.printerName == "mon_added";
    }));
    const std::vector<PrinterChange> changes = window.changes();
    const auto added = std::find_if(changes.begin(), changes.end(),
                                    [](const PrinterChange& c) { return c.printerName == "mon_added"; });
    ASSERT_NE(added, changes.end());
    EXPECT_EQ(added->printerServer, "");
    EXPECT_EQ(added->attributes & w::kAttributeLocal, w::kAttributeLocal);
    for (const webui::WindowMessage& message : window.messages())
        EXPECT_EQ(message.wParam, std::static_pointer_cast<PrinterChange>(message.payload)->changed);
    removeQueue("mon_added");
}

TEST_F(MonitorTest, DescriptionChangeIsAnAttributeChange)
{
    ASSERT_TRUE(addQueue("mon_described"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_described"; }));
    window.clear();
    ASSERT_EQ(run("lpadmin", {"-p", "mon_described", "-L", "Basement"}), 0);
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeSetPrinter && c.printerName == "mon_described" && hasField(c, w::kFieldAttributes);
    }));
    removeQueue("mon_described");
}

TEST_F(MonitorTest, SharingIsAnAttributeChangeWithTheNewAttributes)
{
    ASSERT_TRUE(addQueue("mon_shared"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_shared"; }));
    ASSERT_EQ(sharePrinter("mon_shared", "", true), 0);
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeSetPrinter && c.printerName == "mon_shared" &&
               hasField(c, w::kFieldAttributes) && (c.attributes & w::kAttributeShared);
    }));
    removeQueue("mon_shared");
}

TEST_F(MonitorTest, StoppingAQueueIsAStatusChange)
{
    ASSERT_TRUE(addQueue("mon_state"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_state"; }));
    window.clear();
    ASSERT_EQ(run("cupsdisable", {"mon_state"}), 0);
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeSetPrinter && c.printerName == "mon_state" && hasField(c, w::kFieldStatus) &&
               (c.printerStatus & w::kStatusPaused) && c.jobStatus == 0;
    }));
    removeQueue("mon_state");
}

TEST_F(MonitorTest, QueuedJobIsAJobCountChange)
{
    ASSERT_TRUE(addQueue("mon_jobs"));
    ASSERT_EQ(run("cupsdisable", {"mon_jobs"}), 0);
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "mon_jobs" && (c.printerStatus & w::kStatusPaused);
    }));
    ASSERT_EQ(run("lp", {"-d", "mon_jobs", "/etc/hostname"}), 0);
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "mon_jobs" && hasField(c, w::kFieldCJobs) && c.cjobs == 1;
    }));
    removeQueue("mon_jobs");
}

TEST_F(MonitorTest, DeletedQueueIsReportedOnce)
{
    ASSERT_TRUE(addQueue("mon_deleted"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_deleted"; }));
    ASSERT_TRUE(removeQueue("mon_deleted"));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_deleted";
    }));
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(600));
    const std::vector<PrinterChange> changes = window.changes();
    EXPECT_EQ(std::count_if(changes.begin(), changes.end(),
                            [](const PrinterChange& c) {
                                return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_deleted";
                            }),
              1);
}

TEST_F(MonitorTest, RenameArrivesAsDeleteAndAdd)
{
    ASSERT_TRUE(addQueue("mon_before"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_before"; }));
    ASSERT_TRUE(removeQueue("mon_before"));
    ASSERT_TRUE(addQueue("mon_after"));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_before";
    }));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeAddPrinter && c.printerName == "mon_after";
    }));
    removeQueue("mon_after");
}

TEST_F(MonitorTest, WindowHearsOnlyWhatItsMaskAsksFor)
{
    RecordingWindow installWindow(kInstallWindow);
    PrinterMonitor::instance().subscribe(installWindow.handle(), w::kChangeAddPrinter);
    ASSERT_TRUE(addQueue("mon_masked"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_masked"; }));
    ASSERT_TRUE(removeQueue("mon_masked"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_masked";
    }));
    const std::vector<PrinterChange> heard = installWindow.changes();
    ASSERT_FALSE(heard.empty());
    for (const PrinterChange& change : heard)
        EXPECT_EQ(change.changed, w::kChangeAddPrinter);
    PrinterMonitor::instance().unsubscribe(installWindow.handle());
    window.clear();
    installWindow.clear();
    ASSERT_TRUE(addQueue("mon_unsubscribed"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_unsubscribed"; }));
    EXPECT_TRUE(installWindow.changes().empty());
    removeQueue("mon_unsubscribed");
}

TEST_F(MonitorTest, SurvivesASchedulerRestartAndReportsWhatChangedMeanwhile)
{
    ASSERT_TRUE(addQueue("mon_vanishes"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_vanishes"; }));
    window.clear();

    ASSERT_EQ(run(bed(), {"stop", bedDir()}), 0);
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "laser" && c.changed == w::kChangeSetPrinter &&
               c.printerStatus == w::kStatusServerUnknown;
    }));

    // While the scheduler is down the queue disappears from its configuration.
    const QString printersConf = bedDir() + "/etc/printers.conf";
    QString conf = QString::fromUtf8(testsupport::readFile(printersConf));
    conf.remove(QRegularExpression("<Printer mon_vanishes>.*?</Printer>\\n",
                                   QRegularExpression::DotMatchesEverythingOption));
    ASSERT_TRUE(testsupport::writeFile(printersConf, conf.toUtf8()));
    window.clear();
    ASSERT_EQ(run(bed(), {"start", bedDir()}), 0);

    EXPECT_TRUE(window.waitForChange(
        [](const PrinterChange& c) { return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_vanishes"; },
        15000));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "laser" && hasField(c, w::kFieldStatus) && c.printerStatus == 0;
    }));
    // And it keeps watching.
    window.clear();
    ASSERT_TRUE(addQueue("mon_after_restart"));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeAddPrinter && c.printerName == "mon_after_restart";
    }));
    removeQueue("mon_after_restart");
}
