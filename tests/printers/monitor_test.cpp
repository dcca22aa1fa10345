// The change monitor against its own private scheduler: what a subscribed
// window is told when queues are added, changed, stopped, deleted, when jobs
// move, when the scheduler's subscription table is full, and when the
// scheduler goes away and comes back. The same cases run in both ways of
// hearing of changes: a pull subscription (KORVANE_PRINTER_NOTIFY=ippget) and
// the scheduler's D-Bus notifier on a private system bus (built as a second
// binary whose suite is named by KORVANE_MONITOR_SUITE).

#include "printers/printerapi.h"
#include "printers/printercontrol.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cups/cups.h>
#include <gtest/gtest.h>

#ifndef KORVANE_MONITOR_SUITE
#define KORVANE_MONITOR_SUITE MonitorTest
#endif

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

// The way of hearing of changes this binary tests.
QString expectedMethod()
{
    const QString forced = qEnvironmentVariable("KORVANE_PRINTER_NOTIFY");
    return forced.isEmpty() ? QStringLiteral("dbus") : forced;
}

void pause(int ms)
{
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(ms));
}

// ipptool reaches the socket through a host name that is the %-encoded path.
QString schedulerUri()
{
    return "ipp://" + qEnvironmentVariable("CUPS_SERVER").replace('/', "%2F") + "/";
}

constexpr char kFillerUser[] = "korvane-filler";

// Creates pull subscriptions of another user with ipptool until the scheduler
// refuses one, as any number of other programs could; true when the table is
// full at the end.
bool fillSubscriptionTable()
{
    QTemporaryDir dir;
    const QByteArray block = QByteArray("{\n  NAME \"fill\"\n  OPERATION Create-Printer-Subscriptions\n"
                                        "  GROUP operation-attributes-tag\n"
                                        "  ATTR charset attributes-charset utf-8\n"
                                        "  ATTR naturalLanguage attributes-natural-language en\n"
                                        "  ATTR uri printer-uri $uri\n  ATTR name requesting-user-name ") +
                             kFillerUser +
                             "\n  GROUP subscription-attributes-tag\n"
                             "  ATTR keyword notify-pull-method ippget\n"
                             "  ATTR keyword notify-events printer-modified\n";
    // The default table holds 100; the bed's scheduler keeps the default.
    QByteArray fill;
    for (int i = 0; i < 120; ++i)
        fill += block + "  STATUS successful-ok\n  STATUS client-error-too-many-subscriptions\n}\n";
    const QByteArray check = block + "  STATUS client-error-too-many-subscriptions\n}\n";
    testsupport::writeFile(dir.path() + "/fill.test", fill);
    testsupport::writeFile(dir.path() + "/check.test", check);
    return run("ipptool", {"-t", schedulerUri(), dir.path() + "/fill.test"}) == 0 &&
           run("ipptool", {"-t", schedulerUri(), dir.path() + "/check.test"}) == 0;
}

// The ids of the scheduler's subscriptions, with their owners.
std::vector<std::pair<int, QString>> subscriptions()
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-subscriptions", 0);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", 1000);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    std::vector<std::pair<int, QString>> list;
    int id = 0;
    QString user;
    const auto flush = [&] {
        if (id > 0)
            list.emplace_back(id, user);
        id = 0;
        user.clear();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (!ippGetName(a)) {  // between two subscriptions
            flush();
            continue;
        }
        const QByteArray name = ippGetName(a);
        if (name == "notify-subscription-id")
            id = ippGetInteger(a, 0);
        else if (name == "notify-subscriber-user-name")
            user = QString::fromUtf8(ippGetString(a, 0, nullptr));
    }
    flush();
    ippDelete(response);
    return list;
}

bool cancelSubscription(http_t* http, int id)
{
    ipp_t* request = ippNewRequest(IPP_OP_CANCEL_SUBSCRIPTION);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", id);
    ippDelete(cupsDoRequest(http, request, "/"));
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// Takes the one free place in the table for another user.
bool takeLastPlace(http_t* http)
{
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, kFillerUser);
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", nullptr, "printer-modified");
    ippDelete(cupsDoRequest(http, request, "/"));
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

void emptySubscriptionTable()
{
    for (const auto& [id, user] : subscriptions())
        if (user == kFillerUser)
            cancelSubscription(CUPS_HTTP_DEFAULT, id);
}

// The changes received, one a line, for failure messages.
std::string describe(const std::vector<PrinterChange>& changes)
{
    std::string text;
    for (const PrinterChange& c : changes) {
        text += c.printerName.toStdString() + " changed=" + std::to_string(c.changed) + " fields=";
        for (std::uint32_t field : c.notifyFields)
            text += std::to_string(field) + ",";
        text += " status=" + std::to_string(c.printerStatus) + " attributes=" + std::to_string(c.attributes) +
                " cjobs=" + std::to_string(c.cjobs) + "\n";
    }
    return text;
}

bool isServerUnknown(const PrinterChange& change)
{
    return change.printerStatus & w::kStatusServerUnknown;
}

class KORVANE_MONITOR_SUITE : public ::testing::Test {
protected:
    void SetUp() override
    {
        emptySubscriptionTable();
        startMonitor();
    }
    void TearDown() override
    {
        PrinterMonitor::instance().unsubscribe(window.handle());
        PrinterMonitor::instance().stop();
        emptySubscriptionTable();
        QFile::remove(QDir::homePath() + "/.cups/lpoptions");
    }
    void startMonitor()
    {
        PrinterMonitor::instance().start(window.handle(), w::kChangeAll);
        ASSERT_TRUE(testsupport::waitFor([] { return !PrinterMonitor::instance().notificationMethod().isEmpty(); },
                                         std::chrono::seconds(10)));
        // The first reading is taken right after subscribing.
        pause(300);
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

// A queue whose driver reports supply levels while it prints, as drivers and
// backends do: the scheduler takes "ATTR: marker-..." lines from the standard
// error of a job's filters and backend alike (filter(7)). The queue's only
// filter (a PPD naming it by its absolute path) copies each step file that
// appears in its folder to its standard error, in order, and ends the job
// when "end" appears; it waits two minutes at most. The folder and script
// belong to root and are not writable by others, as the scheduler wants of
// a filter.
class SupplyReportingQueue {
public:
    explicit SupplyReportingQueue(const QString& name) : m_name(name), m_dir(bedDir() + "/supplies-" + name)
    {
        QDir(m_dir).removeRecursively();
        QDir().mkpath(m_dir);
        QFile(m_dir).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QString filter = m_dir + "/report-supplies";
        testsupport::writeFile(filter, "#!/bin/sh\n"
                                       "dir='" + m_dir.toUtf8() + "'\n"
                                       "step=1 round=0\n"
                                       "while [ $round -lt 1200 ] && [ ! -f \"$dir/end\" ]; do\n"
                                       "  if [ -f \"$dir/step-$step\" ]; then\n"
                                       "    cat \"$dir/step-$step\" >&2\n"
                                       "    step=$((step + 1))\n"
                                       "  fi\n"
                                       "  sleep 0.1\n"
                                       "  round=$((round + 1))\n"
                                       "done\n",
                               true);
        QString ppd = QString::fromUtf8(testsupport::readFile(bedDir() + "/ppd-cache/laserjet.ppd"));
        ppd.remove(QRegularExpression("^\\*cupsFilter2?:[^\\n]*\\n", QRegularExpression::MultilineOption));
        ppd += "*cupsFilter: \"text/plain 0 " + filter + "\"\n";
        testsupport::writeFile(m_dir + "/queue.ppd", ppd.toUtf8());
        m_added = addQueue(m_name, {"-P", m_dir + "/queue.ppd"});
    }
    ~SupplyReportingQueue()
    {
        end();
        removeQueue(m_name);
        QDir(m_dir).removeRecursively();
    }
    bool added() const { return m_added; }
    // The next step's text, written whole before the filter can see it.
    bool report(const QByteArray& line)
    {
        const QString step = m_dir + "/step-" + QString::number(++m_steps);
        return testsupport::writeFile(step + ".new", line + "\n") && QFile::rename(step + ".new", step);
    }
    void end() { testsupport::writeFile(m_dir + "/end", ""); }

private:
    QString m_name;
    QString m_dir;
    int m_steps = 0;
    bool m_added = false;
};

// What "getPrinterSupplies" answers, one "name colour level type" a supply.
QStringList supplies(const QString& queue)
{
    const QJsonObject answer = QJsonDocument::fromJson(getPrinterSupplies(queue).toUtf8()).object();
    QStringList list;
    for (const QJsonValue& value : answer["supplies"].toArray()) {
        const QJsonObject s = value.toObject();
        list << QStringLiteral("%1 %2 %3 %4")
                    .arg(s["name"].toString(), s["color"].toString())
                    .arg(s["level"].toInt())
                    .arg(s["type"].toString());
    }
    return answer["code"].toInt(-1) == 0 ? list : QStringList{"code " + QString::number(answer["code"].toInt(-1))};
}

// New supply levels reported while a job prints reach a subscribed window as
// a change of the queue's supplies and nothing else; the same levels again
// are no change. `wait` is how long a reading may take to come.
void expectSupplyReports(RecordingWindow& window, const QString& queueName, int wait)
{
    SupplyReportingQueue queue(queueName);
    ASSERT_TRUE(queue.added());
    ASSERT_TRUE(window.waitForChange([&](const PrinterChange& c) { return c.printerName == queueName; }, wait));
    ASSERT_EQ(supplies(queueName), QStringList());

    // The job holds the queue printing until it ends.
    ASSERT_EQ(run("lp", {"-d", queueName, "/etc/hostname"}), 0);
    const auto printingOneJob = [&](const PrinterChange& c) {
        return c.printerName == queueName && c.cjobs == 1 && c.printerStatus == w::kStatusPrinting;
    };
    ASSERT_TRUE(window.waitForChange(printingOneJob, wait)) << describe(window.changes());
    window.clear();

    const auto suppliesChange = [&](const PrinterChange& c) {
        return c.printerName == queueName && hasField(c, w::kFieldSupplies);
    };
    const auto onlySupplies = [&] {
        const std::vector<PrinterChange> changes = window.changes();
        ASSERT_EQ(changes.size(), 1u) << describe(changes);
        EXPECT_EQ(changes.front().changed, w::kChangeSetPrinter);
        EXPECT_EQ(changes.front().notifyFields, std::vector<std::uint32_t>{w::kFieldSupplies});
        EXPECT_TRUE(printingOneJob(changes.front())) << describe(changes);
    };
    // The driver names its supplies with their first levels...
    ASSERT_TRUE(queue.report("ATTR: marker-names=Black,Cyan marker-colors=#000000,#00FFFF "
                             "marker-types=toner,toner marker-levels=80,60"));
    ASSERT_TRUE(window.waitForChange(suppliesChange, wait)) << describe(window.changes());
    pause(1000);
    onlySupplies();
    EXPECT_EQ(supplies(queueName), QStringList({"Black #000000 80 toner", "Cyan #00FFFF 60 toner"}));

    // ... then reports new levels alone.
    window.clear();
    ASSERT_TRUE(queue.report("ATTR: marker-levels=79,55"));
    ASSERT_TRUE(window.waitForChange(suppliesChange, wait)) << describe(window.changes());
    pause(1000);
    onlySupplies();
    EXPECT_EQ(supplies(queueName), QStringList({"Black #000000 79 toner", "Cyan #00FFFF 55 toner"}));

    // The same levels again, then the end of the job: its state and count
    // change, the supplies do not.
    window.clear();
    ASSERT_TRUE(queue.report("ATTR: marker-levels=79,55"));
    queue.end();
    ASSERT_TRUE(window.waitForChange(
        [&](const PrinterChange& c) { return c.printerName == queueName && c.cjobs == 0 && c.printerStatus == 0; },
        wait))
        << describe(window.changes());
    pause(1000);
    for (const PrinterChange& change : window.changes())
        EXPECT_FALSE(hasField(change, w::kFieldSupplies)) << describe(window.changes());
    EXPECT_EQ(supplies(queueName), QStringList({"Black #000000 79 toner", "Cyan #00FFFF 55 toner"}));
}

}  // namespace

TEST_F(KORVANE_MONITOR_SUITE, HearsOfChangesTheWayThisBinaryTests)
{
    // Without a forced method a local scheduler with a system bus means D-Bus.
    EXPECT_EQ(PrinterMonitor::instance().notificationMethod(), expectedMethod());
}

TEST_F(KORVANE_MONITOR_SUITE, AddedQueueIsReportedWithNameAndServer)
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

TEST_F(KORVANE_MONITOR_SUITE, DescriptionChangeIsAnAttributeChange)
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

TEST_F(KORVANE_MONITOR_SUITE, SharingIsAnAttributeChangeWithTheNewAttributes)
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

TEST_F(KORVANE_MONITOR_SUITE, StoppingAQueueIsAStatusChange)
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

TEST_F(KORVANE_MONITOR_SUITE, QueuedJobIsAJobCountChange)
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

TEST_F(KORVANE_MONITOR_SUITE, DeletedQueueIsReportedOnce)
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

TEST_F(KORVANE_MONITOR_SUITE, RenameArrivesAsDeleteAndAdd)
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

TEST_F(KORVANE_MONITOR_SUITE, WindowHearsOnlyWhatItsMaskAsksFor)
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

TEST_F(KORVANE_MONITOR_SUITE, SurvivesASchedulerRestartAndReportsWhatChangedMeanwhile)
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

TEST_F(KORVANE_MONITOR_SUITE, JobMovedToAnotherQueueChangesBothCounts)
{
    ASSERT_TRUE(addQueue("mon_move_from"));
    ASSERT_TRUE(addQueue("mon_move_to"));
    ASSERT_EQ(run("cupsdisable", {"mon_move_from"}), 0);
    ASSERT_EQ(run("cupsdisable", {"mon_move_to"}), 0);
    QByteArray output;
    ASSERT_EQ(run("lp", {"-d", "mon_move_from", "/etc/hostname"}, &output), 0);
    const QString job = QString::fromUtf8(output).section(' ', 3, 3);
    ASSERT_TRUE(job.startsWith("mon_move_from-")) << output.toStdString();
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "mon_move_from" && c.cjobs == 1;
    }));
    pause(500);
    window.clear();

    // A move raises no printer event, only a job configuration change.
    ASSERT_EQ(run("lpmove", {job, "mon_move_to"}), 0);
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_move_to"; }));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_move_from"; }));
    pause(1000);
    const std::vector<PrinterChange> changes = window.changes();
    ASSERT_EQ(changes.size(), 2u) << describe(changes);
    for (const PrinterChange& change : changes) {
        const bool to = change.printerName == "mon_move_to";
        EXPECT_EQ(change.changed, w::kChangeSetPrinter);
        EXPECT_EQ(change.notifyFields, std::vector<std::uint32_t>{w::kFieldCJobs});
        EXPECT_EQ(change.cjobs, to ? 1u : 0u) << change.printerName.toStdString();
        EXPECT_EQ(change.printerStatus, w::kStatusPaused);
    }
    removeQueue("mon_move_from");
    removeQueue("mon_move_to");
}

TEST_F(KORVANE_MONITOR_SUITE, DefaultChosenInAnotherProgramArrivesWithTheRegularFullReading)
{
    // lpoptions -d writes a file and tells the scheduler nothing.
    window.clear();
    ASSERT_TRUE(testsupport::writeFile(QDir::homePath() + "/.cups/lpoptions", "Default inkjet\n"));
    // The regular full reading comes every 30 s, every 60 s with D-Bus.
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "inkjet"; }, 75000));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "laser"; }, 5000));
    pause(500);
    const std::vector<PrinterChange> changes = window.changes();
    ASSERT_EQ(changes.size(), 2u) << describe(changes);
    for (const PrinterChange& change : changes) {
        EXPECT_EQ(change.changed, w::kChangeSetPrinter);
        EXPECT_EQ(change.notifyFields, std::vector<std::uint32_t>{w::kFieldAttributes});
        EXPECT_EQ(bool(change.attributes & w::kAttributeDefault), change.printerName == "inkjet");
    }
}

TEST_F(KORVANE_MONITOR_SUITE, FullSubscriptionTableMeansReadingWithoutOneNotALostScheduler)
{
    PrinterMonitor::instance().unsubscribe(window.handle());
    PrinterMonitor::instance().stop();
    ASSERT_TRUE(fillSubscriptionTable());
    window.clear();
    startMonitor();
    EXPECT_EQ(PrinterMonitor::instance().notificationMethod(), "poll");

    // The first reading was taken: a new queue is an addition.
    ASSERT_TRUE(addQueue("mon_unsubscribed_add"));
    EXPECT_TRUE(window.waitForChange(
        [](const PrinterChange& c) {
            return c.changed == w::kChangeAddPrinter && c.printerName == "mon_unsubscribed_add";
        },
        15000));
    // lpadmin adds, then enables: a reading may fall in between. Past the
    // next reading the picture is settled.
    pause(4000);
    window.clear();
    ASSERT_EQ(run("cupsdisable", {"mon_unsubscribed_add"}), 0);
    EXPECT_TRUE(window.waitForChange(
        [](const PrinterChange& c) {
            return c.changed == w::kChangeSetPrinter && c.printerName == "mon_unsubscribed_add" &&
                   c.notifyFields == std::vector<std::uint32_t>{w::kFieldStatus} &&
                   c.printerStatus == w::kStatusPaused;
        },
        15000));
    EXPECT_EQ(window.changes().size(), 1u) << describe(window.changes());

    // Room again: it subscribes at its next attempt and hears of changes as usual.
    emptySubscriptionTable();
    EXPECT_TRUE(testsupport::waitFor(
        [] { return PrinterMonitor::instance().notificationMethod() == expectedMethod(); }, std::chrono::seconds(60)));
    window.clear();
    ASSERT_TRUE(removeQueue("mon_unsubscribed_add"));
    EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.changed == w::kChangeDeletePrinter && c.printerName == "mon_unsubscribed_add";
    }));
    pause(500);
    EXPECT_EQ(window.changes().size(), 1u) << describe(window.changes());
    for (const PrinterChange& change : window.changes())
        EXPECT_FALSE(isServerUnknown(change)) << change.printerName.toStdString();
}

TEST_F(KORVANE_MONITOR_SUITE, SubscriptionCancelledFromOutsideWithTheTableFullKeepsWatching)
{
    ASSERT_TRUE(fillSubscriptionTable());
    std::vector<int> ours;
    for (const auto& [id, user] : subscriptions())
        if (user != kFillerUser)
            ours.push_back(id);
    ASSERT_EQ(ours.size(), 1u);
    window.clear();
    {
        // Someone else takes the place at once.
        http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                    10000, nullptr);
        ASSERT_NE(http, nullptr);
        EXPECT_TRUE(cancelSubscription(http, ours.front()));
        EXPECT_TRUE(takeLastPlace(http));
        httpClose(http);
    }
    EXPECT_TRUE(testsupport::waitFor([] { return PrinterMonitor::instance().notificationMethod() == "poll"; },
                                     std::chrono::seconds(15)));
    ASSERT_EQ(run("lpadmin", {"-p", "inkjet", "-L", "Room 2b"}), 0);
    EXPECT_TRUE(window.waitForChange(
        [](const PrinterChange& c) {
            return c.changed == w::kChangeSetPrinter && c.printerName == "inkjet" &&
                   c.notifyFields == std::vector<std::uint32_t>{w::kFieldAttributes} && c.printerStatus == 0;
        },
        15000));
    pause(500);
    // The scheduler answered all along: not one printer was "server unknown".
    EXPECT_EQ(window.changes().size(), 1u) << describe(window.changes());
    for (const PrinterChange& change : window.changes())
        EXPECT_FALSE(isServerUnknown(change)) << change.printerName.toStdString();
    run("lpadmin", {"-p", "inkjet", "-L", "Room 2"});
}

TEST_F(KORVANE_MONITOR_SUITE, SupplyLevelsReportedDuringAJobAreASuppliesChange)
{
    EXPECT_EQ(PrinterMonitor::instance().notificationMethod(), expectedMethod());
    expectSupplyReports(window, "mon_supplies", 15000);
}

TEST_F(KORVANE_MONITOR_SUITE, SupplyLevelsAreASuppliesChangeWhenReadingWithoutASubscription)
{
    PrinterMonitor::instance().unsubscribe(window.handle());
    PrinterMonitor::instance().stop();
    ASSERT_TRUE(fillSubscriptionTable());
    window.clear();
    startMonitor();
    ASSERT_EQ(PrinterMonitor::instance().notificationMethod(), "poll");
    expectSupplyReports(window, "mon_supplies_poll", 15000);
    EXPECT_EQ(PrinterMonitor::instance().notificationMethod(), "poll");
}

// Refusing new documents changes neither the state nor the reasons: only
// printer-is-accepting-jobs, which the card's accept/refuse button shows.
TEST_F(KORVANE_MONITOR_SUITE, RefusingAndAcceptingDocumentsIsAnAcceptingChange)
{
    ASSERT_TRUE(addQueue("mon_accepting"));
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_accepting"; }));
    // lpadmin adds the queue, then enables it: past a few pulls the picture
    // is settled.
    pause(2500);
    window.clear();
    for (const char* tool : {"cupsreject", "cupsaccept"}) {
        ASSERT_EQ(run(tool, {"mon_accepting"}), 0);
        EXPECT_TRUE(window.waitForChange(
            [](const PrinterChange& c) { return c.printerName == "mon_accepting"; }, 15000))
            << tool;
        pause(500);
        const std::vector<PrinterChange> changes = window.changes();
        ASSERT_EQ(changes.size(), 1u) << tool << "\n" << describe(changes);
        EXPECT_EQ(changes.front().changed, w::kChangeSetPrinter);
        EXPECT_EQ(changes.front().notifyFields, std::vector<std::uint32_t>{w::kFieldAccepting}) << tool;
        EXPECT_EQ(changes.front().printerStatus, 0u);
        window.clear();
    }
    removeQueue("mon_accepting");
}

// Holding or releasing a job changes no value of its queue (the count of
// unfinished jobs stays), only the job: the scheduler's event tells.
TEST_F(KORVANE_MONITOR_SUITE, HoldingAndReleasingAJobIsAJobStateChange)
{
    ASSERT_TRUE(addQueue("mon_held"));
    ASSERT_EQ(run("cupsdisable", {"mon_held"}), 0);
    QByteArray output;
    ASSERT_EQ(run("lp", {"-d", "mon_held", "-H", "hold", "/etc/hostname"}, &output), 0);
    const QString job = QString::fromUtf8(output).section(' ', 3, 3);
    ASSERT_TRUE(job.startsWith("mon_held-")) << output.toStdString();
    ASSERT_TRUE(window.waitForChange([](const PrinterChange& c) {
        return c.printerName == "mon_held" && c.cjobs == 1 && (c.printerStatus & w::kStatusPaused);
    }, 15000));
    pause(2500);
    window.clear();
    for (const char* how : {"resume", "hold"}) {
        ASSERT_EQ(run("lp", {"-i", job, "-H", how}), 0);
        EXPECT_TRUE(window.waitForChange([](const PrinterChange& c) { return c.printerName == "mon_held"; }, 15000))
            << how;
        pause(1000);
        const std::vector<PrinterChange> changes = window.changes();
        ASSERT_EQ(changes.size(), 1u) << how << "\n" << describe(changes);
        EXPECT_EQ(changes.front().changed, w::kChangeSetPrinter);
        EXPECT_EQ(changes.front().notifyFields, std::vector<std::uint32_t>{w::kFieldJobStates}) << how;
        EXPECT_EQ(changes.front().cjobs, 1u);
        EXPECT_EQ(changes.front().printerStatus, w::kStatusPaused);
        window.clear();
    }
    removeQueue("mon_held");
}
