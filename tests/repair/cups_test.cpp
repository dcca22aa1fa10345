// The checks and repairs that reach the scheduler, against a private cupsd
// (the shared CUPS test bed, an instance of our own) with its sample queues.

#include "printers/printerapi.h"
#include "printers/win32printer.h"
#include "repair/repairapi.h"
#include "repair/repairtestbeds.h"
#include "repair/repairtool.h"
#include "repair/repairtypes.h"
#include "webui/windowmessage.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <poll.h>
#include <unistd.h>
#include <gtest/gtest.h>

using repairtest::runSalvane;
using testsupport::ScopedEnv;

namespace {

QString bedDir()
{
    return qEnvironmentVariable("KORVANE_REPAIR_CUPS_BED");
}

pid_t schedulerPid()
{
    return testsupport::readFile(bedDir() + "/cupsd.pid").trimmed().toInt();
}

bool processGone(pid_t pid)
{
    return kill(pid, 0) != 0 || testsupport::readFile(QStringLiteral("/proc/%1/stat").arg(pid)).contains(") Z");
}

// Submits a small job with lp; "hold" keeps it held.
bool submitJob(const QString& queue, bool hold)
{
    QProcess lp;
    QStringList args{"-d", queue, "-t", "repair test job"};
    if (hold)
        args << "-H" << "hold";
    lp.start("lp", args);
    lp.write("a page\n");
    lp.closeWriteChannel();
    return lp.waitForFinished(30000) && lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
}

QString bedSocket()
{
    return bedDir() + "/cups.sock";
}

// The Cancel-Jobs requests the bed's scheduler has answered so far.
int cancelJobsRequests()
{
    return int(testsupport::readFile(bedDir() + "/log/access_log").count(" Cancel-Jobs "));
}

int unfinishedJobs(const QString& queue)
{
    return int(PrinterAPI::listPrinterJobs(queue).size());
}

class RepairCups : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bedDir().isEmpty()) << "run through ctest, which starts the scheduler";
        // Another test may have left it stopped; bring it back the way a user would.
        if (repair::checkPrinterSpool() != repair::service::kRunning) {
            ASSERT_EQ(runSalvane("0").exitCode, 0);
        }
        ASSERT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
    }
};

class RecordingWindow : public webui::WindowMessageTarget {
public:
    std::intptr_t windowProc(const webui::WindowMessage& message) override
    {
        received.push_back(message.message);
        return 1;
    }
    std::vector<unsigned> received;
};

}  // namespace

TEST_F(RepairCups, StoppedSchedulerIsReportedAndRestartedBySalvane)
{
    const pid_t old = schedulerPid();
    ASSERT_GT(old, 0);
    ASSERT_EQ(kill(old, SIGTERM), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return processGone(old); }, std::chrono::seconds(20)));
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);

    const auto run = runSalvane("0");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("restart spooler: ok")) << run.output.toStdString();
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
    EXPECT_NE(schedulerPid(), old);
    // The same scheduler came back, with its queues.
    EXPECT_TRUE(repair::checkPrinterSharing("laser"));
}

TEST_F(RepairCups, RestartOfARunningSchedulerGoesThroughThePage)
{
    const pid_t old = schedulerPid();
    EXPECT_EQ(repair::restartPrinterSpool(), 0u);
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
    EXPECT_NE(schedulerPid(), old);
}

TEST_F(RepairCups, TheRestartedSchedulerKeepsNoneOfTheCallersDescriptors)
{
    // A descriptor the caller lets its children inherit, as a test runner's
    // output pipe: once the tool has ended, nobody may hold it any more.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t old = schedulerPid();
    const auto run = runSalvane("0");
    close(ends[1]);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_NE(schedulerPid(), old);
    pollfd readEnd{ends[0], POLLIN, 0};
    ASSERT_EQ(poll(&readEnd, 1, 20000), 1) << "the new scheduler holds the caller's pipe";
    char byte = 0;
    EXPECT_EQ(read(ends[0], &byte, 1), 0);
    close(ends[0]);
}

TEST_F(RepairCups, QueuedJobsAreReportedAndSalvaneCancelsThem)
{
    ASSERT_TRUE(submitJob("stopped", false));
    ASSERT_TRUE(submitJob("stopped", true));
    // A pending job has no status bit of its own and counts as 0x4; a held one is paused.
    EXPECT_EQ(repair::checkPrinterQueue("stopped"),
              PrinterAPI::win32printer::kJobPaused | repair::jobstatus::kNoStatusStandIn);
    EXPECT_EQ(repair::checkPrinterQueue("inkjet"), 0u);

    const auto run = runSalvane("2");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("clean queues: ok")) << run.output.toStdString();
    EXPECT_EQ(repair::checkPrinterQueue("stopped"), 0u);
    win32::ErrorCode error = win32::kGenFailure;
    EXPECT_TRUE(PrinterAPI::listPrinterJobs("stopped", &error).empty());
    EXPECT_EQ(error, win32::kSuccess);
}

TEST_F(RepairCups, CleanPrinterQueueEmptiesEveryQueue)
{
    ASSERT_TRUE(submitJob("stopped", true));
    ASSERT_TRUE(submitJob("stopped", false));
    repair::cleanPrinterQueue(0);
    EXPECT_EQ(repair::checkPrinterQueue("stopped"), 0u);
}

TEST_F(RepairCups, EveryQueuesJobsAreCancelledWithOneRequest)
{
    ASSERT_TRUE(submitJob("stopped", true));
    ASSERT_TRUE(submitJob("stopped", false));
    ASSERT_TRUE(submitJob("laser", true));
    const int jobs = unfinishedJobs("stopped") + unfinishedJobs("laser");
    const int requestsBefore = cancelJobsRequests();
    const auto run = runSalvane("2");
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith(QStringLiteral("clean queues: ok: cancelled %1 job(s) on every queue of %2")
                                          .arg(jobs)
                                          .arg(bedSocket())))
        << run.output.toStdString();
    EXPECT_EQ(cancelJobsRequests() - requestsBefore, 1);
    EXPECT_EQ(unfinishedJobs("stopped"), 0);
    EXPECT_EQ(unfinishedJobs("laser"), 0);
}

TEST_F(RepairCups, SalvaneActsOnTheSchedulerItIsToldRatherThanTheEnvironments)
{
    ASSERT_TRUE(submitJob("stopped", true));
    QTemporaryDir dir;
    QProcessEnvironment elsewhere;
    elsewhere.insert("CUPS_SERVER", dir.filePath("elsewhere.sock"));
    const auto run = runSalvane({"-h", bedSocket(), "2"}, elsewhere);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(bedSocket())) << run.output.toStdString();
    EXPECT_EQ(unfinishedJobs("stopped"), 0);
}

TEST_F(RepairCups, OnePrintersJobsAreCancelledAndNoOtherPrintersJobs)
{
    ASSERT_TRUE(submitJob("stopped", true));
    ASSERT_TRUE(submitJob("stopped", false));
    ASSERT_TRUE(submitJob("laser", true));
    ASSERT_EQ(unfinishedJobs("laser"), 1);
    EXPECT_EQ(repair::cleanPrinterQueueOf("stopped"), win32::kSuccess);
    EXPECT_EQ(unfinishedJobs("stopped"), 0);
    EXPECT_EQ(unfinishedJobs("laser"), 1);
    {
        // An empty queue is answered without starting the tool (which is
        // missing here and would give 2).
        QTemporaryDir empty;
        ScopedEnv programDir("KORVANE_PROGRAM_DIR", empty.path().toUtf8());
        EXPECT_EQ(repair::cleanPrinterQueueOf("stopped"), win32::kSuccess);
        EXPECT_EQ(repair::cleanPrinterQueueOf("laser"), win32::kFileNotFound);
    }
    const QString badNames[] = {"", "no-such-queue", "laser; rm -rf /", "../laser", "la\"ser", QString(4096, 'x')};
    for (const QString& name : badNames)
        EXPECT_EQ(repair::cleanPrinterQueueOf(name), win32::kInvalidPrinterName) << name.left(32).toStdString();
    EXPECT_EQ(unfinishedJobs("laser"), 1);
    EXPECT_EQ(repair::cleanPrinterQueueOf("laser"), win32::kSuccess);
    EXPECT_EQ(unfinishedJobs("laser"), 0);
}

TEST_F(RepairCups, SalvaneEmptiesTheNamedQueueOnly)
{
    ASSERT_TRUE(submitJob("stopped", true));
    ASSERT_TRUE(submitJob("laser", true));
    auto run = runSalvane({"-h", bedSocket(), "-p", "laser", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("clean queues: ok: cancelled 1 job(s) on queue laser")) << run.output.toStdString();
    EXPECT_EQ(unfinishedJobs("laser"), 0);
    EXPECT_GT(unfinishedJobs("stopped"), 0);
    run = runSalvane({"-p", "no-such-queue", "2"});
    EXPECT_EQ(run.exitCode, repair::exitcode::kQueuesFailed) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("clean queues: FAILED: error 1801")) << run.output.toStdString();
}

TEST_F(RepairCups, ASchedulerOnAnotherMachineIsNotRestarted)
{
    const pid_t old = schedulerPid();
    for (const char* server : {"10.203.9.9:631", "printserver.example.org", "[fe80::1]:631"}) {
        const auto run = runSalvane({"-h", server, "0"});
        EXPECT_EQ(run.exitCode, repair::exitcode::kSchedulerNotOurs) << server;
        EXPECT_TRUE(run.output.startsWith("restart spooler: FAILED: the scheduler ") &&
                    run.output.contains(" runs on another machine; it can only be restarted there"))
            << run.output.toStdString();
    }
    EXPECT_EQ(schedulerPid(), old);
    EXPECT_FALSE(processGone(old));
}

TEST_F(RepairCups, APrivateSchedulerWithoutItsStartCommandIsNotRestartedAsTheMachinesOwn)
{
    const pid_t old = schedulerPid();
    const auto run = runSalvane({"-h", bedSocket(), "0"}, {}, {"KORVANE_CUPSD_COMMAND", "KORVANE_CUPSD_PIDFILE"});
    EXPECT_EQ(run.exitCode, repair::exitcode::kSchedulerNotOurs) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("is not this machine's print service")) << run.output.toStdString();
    EXPECT_EQ(schedulerPid(), old);
    EXPECT_FALSE(processGone(old));
}

TEST_F(RepairCups, SharingIsReportedSetAndCleared)
{
    EXPECT_TRUE(repair::checkPrinterSharing("laser"));
    ASSERT_EQ(PrinterAPI::sharePrinter("inkjet", "", false), 0);
    EXPECT_FALSE(repair::checkPrinterSharing("inkjet"));
    EXPECT_EQ(repair::enablePrinterSharing("inkjet"), 0u);
    EXPECT_TRUE(repair::checkPrinterSharing("inkjet"));
    EXPECT_EQ(PrinterAPI::sharePrinter("inkjet", "", false), 0);
    EXPECT_FALSE(repair::checkPrinterSharing("inkjet"));
}

TEST_F(RepairCups, AClassIsSharedLikeAPrinter)
{
    ASSERT_EQ(PrinterAPI::sharePrinter("office", "", false), 0);
    EXPECT_FALSE(repair::checkPrinterSharing("office"));
    EXPECT_EQ(repair::enablePrinterSharing("office"), 0u);
    EXPECT_TRUE(repair::checkPrinterSharing("office"));
    EXPECT_EQ(PrinterAPI::sharePrinter("office", "", false), 0);
}

TEST_F(RepairCups, TheSchedulersSharingSettingCanBeRead)
{
    EXPECT_TRUE(PrinterAPI::schedulerSharesPrinters().has_value());
}

TEST_F(RepairCups, BadPrinterNamesAreAnsweredWithoutHarm)
{
    const QString names[] = {"", "no-such-queue", "la\"ser", "laser'", "../laser", "printers/laser", "laser; rm -rf /",
                             QString(4096, 'x')};
    for (const QString& name : names) {
        const std::string shown = name.left(32).toStdString();
        EXPECT_FALSE(repair::checkPrinterSharing(name)) << shown;
        EXPECT_EQ(repair::checkPrinterQueue(name), 0u) << shown;
        EXPECT_EQ(repair::enablePrinterSharing(name), win32::kInvalidPrinterName) << shown;
    }
    // Modifying a queue that does not exist must not create it.
    const std::vector<PrinterAPI::PrinterInfoRecord> queues = PrinterAPI::listPrinters(0);
    ASSERT_FALSE(queues.empty());
    for (const PrinterAPI::PrinterInfoRecord& queue : queues)
        EXPECT_NE(queue.printerName, "no-such-queue");
}

TEST_F(RepairCups, AnUnreachableSchedulerGivesNegativeAnswers)
{
    ScopedEnv gone("CUPS_SERVER", (bedDir() + "/missing.sock").toUtf8());
    EXPECT_FALSE(repair::checkPrinterSharing("laser"));
    EXPECT_EQ(repair::checkPrinterQueue("laser"), 0u);
    EXPECT_EQ(repair::enablePrinterSharing("laser"), win32::kRpcServerUnavailable);
    const auto run = runSalvane("2");
    EXPECT_EQ(run.exitCode, repair::exitcode::kQueuesFailed) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith("clean queues: FAILED")) << run.output.toStdString();
}

TEST_F(RepairCups, CombinedRepairGoesOnAfterAFailedStepAndNamesTheFirst)
{
    QTemporaryDir dir;
    ScopedEnv gone("CUPS_SERVER", dir.filePath("missing.sock").toUtf8());
    ScopedEnv noScheduler("KORVANE_CUPSD_COMMAND", dir.filePath("no-cupsd -F").toUtf8());
    ScopedEnv noPidFile("KORVANE_CUPSD_PIDFILE", dir.filePath("cupsd.pid").toUtf8());
    ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
    ScopedEnv noUfw("KORVANE_UFW", dir.filePath("none").toUtf8());
    ScopedEnv noNft("KORVANE_NFT", dir.filePath("none").toUtf8());
    ScopedEnv noIptables("KORVANE_IPTABLES", dir.filePath("none").toUtf8());
    const auto run = runSalvane("1000");
    EXPECT_EQ(run.exitCode, repair::exitcode::kSpoolerFailed) << run.output.toStdString();
    const QStringList lines = run.output.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << run.output.toStdString();
    EXPECT_TRUE(lines[0].startsWith("restart spooler: FAILED"));
    EXPECT_TRUE(lines[1].startsWith("open firewall: ok"));
    EXPECT_TRUE(lines[2].startsWith("clean queues: FAILED"));
}

TEST_F(RepairCups, CombinedRepairReportsItsEndToTheWindow)
{
    ASSERT_TRUE(submitJob("stopped", false));
    QTemporaryDir dir;
    ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toUtf8());
    ScopedEnv noUfw("KORVANE_UFW", dir.filePath("none").toUtf8());
    ScopedEnv noNft("KORVANE_NFT", dir.filePath("none").toUtf8());
    ScopedEnv noIptables("KORVANE_IPTABLES", dir.filePath("none").toUtf8());
    RecordingWindow window;
    const webui::WindowHandle handle = 0x5a17a0e;
    webui::WindowRegistry::instance().add(handle, &window);
    EXPECT_EQ(repair::resetSpool_firewall_queue(handle), 0u);
    EXPECT_TRUE(testsupport::waitFor([&] { return !window.received.empty(); }, std::chrono::seconds(120)));
    webui::WindowRegistry::instance().remove(handle);
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_EQ(window.received.front(), webui::msg::kResetAllFinished);
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kRunning);
    EXPECT_EQ(repair::checkPrinterQueue("stopped"), 0u);
}

TEST(RepairHungScheduler, ChecksGiveUpInsteadOfWaitingForIt)
{
    testsupport::SilentUnixServer hung;
    ASSERT_TRUE(hung.isListening());
    ScopedEnv server("CUPS_SERVER", hung.path().toUtf8());
    ScopedEnv cupsd("KORVANE_CUPSD", "/bin/true");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(repair::checkPrinterSpool(), repair::service::kStopped);
    EXPECT_FALSE(repair::checkPrinterSharing("laser"));
    EXPECT_EQ(repair::checkPrinterQueue("laser"), 0u);
    // libcups alone would wait a minute for each of the three.
    EXPECT_LT(clock.elapsed(), 20000);
    RecordProperty("hung_scheduler_three_checks_ms", int(clock.elapsed()));
}

TEST(RepairToolStart, AMissingToolIsFileNotFound)
{
    QTemporaryDir empty;
    ScopedEnv programDir("KORVANE_PROGRAM_DIR", empty.path().toUtf8());
    EXPECT_EQ(repair::restartPrinterSpool(), win32::kFileNotFound);
    EXPECT_EQ(repair::enableFirewall(), win32::kFileNotFound);
    EXPECT_EQ(repair::resetSpool_firewall_queue(0), win32::kFileNotFound);
}

TEST(RepairToolStart, TheToolsExitCodeIsPassedThrough)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.filePath("salvane"), "#!/bin/sh\nfor a; do last=$a; done\n[ \"$last\" = 1 ] && exit 11\nexit 0\n", true));
    ScopedEnv programDir("KORVANE_PROGRAM_DIR", dir.path().toUtf8());
    EXPECT_EQ(repair::runRepairTool(repair::command::kOpenFirewall, 0), 11u);
    EXPECT_EQ(repair::runRepairTool(repair::command::kRestartSpooler, 0), 0u);
}

TEST(RepairToolStart, SalvaneRefusesABadArgument)
{
    for (const char* argument : {"", "7", "abc", "1000x", "-h", "-p", "02", " 2"}) {
        const auto run = runSalvane(argument);
        EXPECT_EQ(run.exitCode, repair::exitcode::kUsage) << argument;
        EXPECT_TRUE(run.output.isEmpty()) << argument;
    }
    const QStringList badVectors[] = {
        {"-h", "0"},
        {"0", "-h"},
        {"-h", "", "0"},
        {"-h", "host;touch /tmp/korvane-salvane-marker", "2"},
        {"-h", "$(touch /tmp/korvane-salvane-marker)", "2"},
        {"-h", "/tmp/line\nbreak.sock", "2"},
        {"-h", "-x", "2"},
        {"-h", "/" + QString(200, 's'), "2"},
        {"-h", "localhost", "-h", "localhost", "2"},
        {"-p", "laser", "0"},
        {"-p", "laser", "1000"},
        {"-p", "-x", "2"},
        {"-p", "", "2"},
        {"-p", QString(128, 'q'), "2"},
        {"-p", "la\x01ser", "2"},
        {"2", "2"},
        {"-x", "2"},
    };
    for (const QStringList& args : badVectors) {
        const auto run = runSalvane(args);
        EXPECT_EQ(run.exitCode, repair::exitcode::kUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(run.output.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists("/tmp/korvane-salvane-marker"));
}
