// Managing queues against a private scheduler of their own: pause and resume,
// accepting jobs, the job list with cancel and release, supply levels the
// scheduler keeps for a queue, and the description and location.

#include "printers/printerapi.h"
#include "printers/printercontrol.h"
#include "printers/printertestutil.h"
#include "printers/win32printer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cups/cups.h>
#include <gtest/gtest.h>

using namespace PrinterAPI;
using namespace printertest;

namespace {

QJsonObject parsed(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QJsonObject jobsOf(const QString& queue)
{
    return parsed(getPrinterJobs(queue));
}

// Submits /etc/hostname (any small file) with a title; returns the job id.
int submit(const QString& queue, const QString& title, const QStringList& extra = {})
{
    QByteArray output;
    if (run("lp", QStringList { "-d", queue, "-t", title } + extra + QStringList { "/etc/hostname" }, &output) != 0)
        return 0;
    // "request id is QUEUE-ID (1 file(s))"
    const QByteArray marker = queue.toUtf8() + "-";
    const int at = output.indexOf(marker);
    return at < 0 ? 0 : output.mid(at + marker.size()).split(' ').value(0).toInt();
}

QString bed()
{
    return qEnvironmentVariable("KORVANE_CUPS_BED");
}

QString bedDir()
{
    return qEnvironmentVariable("KORVANE_CUPS_BED_DIR");
}

} // namespace

TEST(QueuePause, PauseShowsAsPausedAndResumeClearsIt)
{
    ASSERT_TRUE(addQueue("ctl_pause"));
    EXPECT_EQ(pausePrinter("ctl_pause"), 0);
    EXPECT_TRUE(jobsOf("ctl_pause")["paused"].toBool());
    EXPECT_EQ(listingByName()["ctl_pause"].toObject()["status"].toInt() & int(win32printer::kStatusPaused),
        int(win32printer::kStatusPaused));
    EXPECT_EQ(resumePrinter("ctl_pause"), 0);
    EXPECT_FALSE(jobsOf("ctl_pause")["paused"].toBool());
    EXPECT_EQ(listingByName()["ctl_pause"].toObject()["status"].toInt() & int(win32printer::kStatusPaused), 0);
    removeQueue("ctl_pause");
}

TEST(QueuePause, ClassCanBePausedToo)
{
    ASSERT_TRUE(addQueue("ctl_member"));
    ASSERT_EQ(run("lpadmin", { "-p", "ctl_member", "-c", "ctl_class" }), 0);
    ASSERT_EQ(run("cupsenable", { "ctl_class" }), 0);
    EXPECT_EQ(pausePrinter("ctl_class"), 0);
    EXPECT_TRUE(jobsOf("ctl_class")["paused"].toBool());
    EXPECT_EQ(resumePrinter("ctl_class"), 0);
    EXPECT_FALSE(jobsOf("ctl_class")["paused"].toBool());
    run("lpadmin", { "-x", "ctl_class" });
    removeQueue("ctl_member");
}

TEST(QueuePause, BadAndUnknownNamesAre1801)
{
    for (const QString& name : { QString(), QStringLiteral("bad/name"), QStringLiteral("a b"),
             QStringLiteral("nosuchqueue"), QString(128, QLatin1Char('x')) }) {
        EXPECT_EQ(pausePrinter(name), 1801) << qPrintable(name);
        EXPECT_EQ(resumePrinter(name), 1801) << qPrintable(name);
        EXPECT_EQ(setPrinterAcceptJobs(name, false), 1801) << qPrintable(name);
        EXPECT_EQ(jobsOf(name), QJsonObject({ { "code", 1801 } })) << qPrintable(name);
        EXPECT_EQ(parsed(getPrinterSupplies(name)), QJsonObject({ { "code", 1801 } })) << qPrintable(name);
        EXPECT_EQ(setPrinterDescription(name, "a", "b"), 1801) << qPrintable(name);
        EXPECT_EQ(cancelPrinterJob(name, 1), 1801) << qPrintable(name);
        EXPECT_EQ(releasePrinterJob(name, 1), 1801) << qPrintable(name);
    }
}

TEST(QueueAccept, RejectedQueueRefusesNewJobsUntilAcceptedAgain)
{
    ASSERT_TRUE(addQueue("ctl_accept"));
    EXPECT_TRUE(jobsOf("ctl_accept")["accepting"].toBool());
    EXPECT_EQ(setPrinterAcceptJobs("ctl_accept", false), 0);
    EXPECT_FALSE(jobsOf("ctl_accept")["accepting"].toBool());
    EXPECT_EQ(submit("ctl_accept", "refused"), 0);
    EXPECT_EQ(setPrinterAcceptJobs("ctl_accept", true), 0);
    EXPECT_TRUE(jobsOf("ctl_accept")["accepting"].toBool());
    ASSERT_EQ(run("cupsdisable", { "ctl_accept" }), 0);
    EXPECT_GT(submit("ctl_accept", "taken"), 0);
    removeQueue("ctl_accept");
}

TEST(QueueJobList, ListShowsEachUnfinishedJobWithItsFacts)
{
    ASSERT_TRUE(addQueue("ctl_jobs"));
    ASSERT_EQ(run("cupsdisable", { "ctl_jobs" }), 0);
    const int first = submit("ctl_jobs", "First report");
    const int held = submit("ctl_jobs", "Held letter", { "-H", "hold" });
    ASSERT_GT(first, 0);
    ASSERT_GT(held, first);
    const QJsonObject answer = jobsOf("ctl_jobs");
    EXPECT_EQ(answer["code"].toInt(), 0);
    EXPECT_TRUE(answer["paused"].toBool());
    const QJsonArray jobs = answer["jobs"].toArray();
    ASSERT_EQ(jobs.size(), 2);
    const QJsonObject a = jobs[0].toObject();
    const QJsonObject b = jobs[1].toObject();
    EXPECT_EQ(a["id"].toInt(), first);
    EXPECT_EQ(a["name"].toString(), "First report");
    EXPECT_EQ(a["owner"].toString(), "root");
    EXPECT_EQ(a["state"].toString(), "pending");
    EXPECT_EQ(a["size"].toInt(), 1024); // a few bytes count as one kilobyte
    EXPECT_GT(a["time"].toDouble(), 1.6e9);
    EXPECT_EQ(b["id"].toInt(), held);
    EXPECT_EQ(b["name"].toString(), "Held letter");
    EXPECT_EQ(b["state"].toString(), "held");
    EXPECT_TRUE(b["reasons"].toArray().contains("job-hold-until-specified"));
    removeQueue("ctl_jobs");
}

TEST(QueueJobList, CancelOneLeavesTheOthers)
{
    ASSERT_TRUE(addQueue("ctl_cancel"));
    ASSERT_EQ(run("cupsdisable", { "ctl_cancel" }), 0);
    const int keep = submit("ctl_cancel", "keep");
    const int drop = submit("ctl_cancel", "drop");
    ASSERT_GT(keep, 0);
    ASSERT_GT(drop, 0);
    EXPECT_EQ(cancelPrinterJob("ctl_cancel", drop), 0);
    const QJsonArray jobs = jobsOf("ctl_cancel")["jobs"].toArray();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].toObject()["id"].toInt(), keep);
    // Gone already, and not a job of another queue.
    EXPECT_EQ(cancelPrinterJob("ctl_cancel", drop), 87);
    ASSERT_TRUE(addQueue("ctl_other"));
    EXPECT_EQ(cancelPrinterJob("ctl_other", keep), 87);
    EXPECT_EQ(jobsOf("ctl_cancel")["jobs"].toArray().size(), 1);
    removeQueue("ctl_other");
    removeQueue("ctl_cancel");
}

TEST(QueueJobList, JobIdsMustBeWholePositiveNumbers)
{
    ASSERT_TRUE(addQueue("ctl_ids"));
    ASSERT_EQ(run("cupsdisable", { "ctl_ids" }), 0);
    const int job = submit("ctl_ids", "stays");
    ASSERT_GT(job, 0);
    for (const QJsonValue& id :
        { QJsonValue(0), QJsonValue(-1), QJsonValue(job + 0.5), QJsonValue(QString::number(job)),
            QJsonValue(2147483648.0), QJsonValue(true), QJsonValue(), QJsonValue(QJsonValue::Undefined) }) {
        EXPECT_EQ(cancelPrinterJob("ctl_ids", id), 87);
        EXPECT_EQ(releasePrinterJob("ctl_ids", id), 87);
    }
    EXPECT_EQ(jobsOf("ctl_ids")["jobs"].toArray().size(), 1);
    removeQueue("ctl_ids");
}

TEST(QueueJobList, HeldJobIsReleasedAndAPendingOneCannotBe)
{
    ASSERT_TRUE(addQueue("ctl_release"));
    ASSERT_EQ(run("cupsdisable", { "ctl_release" }), 0);
    const int held = submit("ctl_release", "held", { "-H", "hold" });
    ASSERT_GT(held, 0);
    EXPECT_EQ(jobsOf("ctl_release")["jobs"].toArray()[0].toObject()["state"].toString(), "held");
    EXPECT_EQ(releasePrinterJob("ctl_release", held), 0);
    EXPECT_EQ(jobsOf("ctl_release")["jobs"].toArray()[0].toObject()["state"].toString(), "pending");
    EXPECT_EQ(releasePrinterJob("ctl_release", held), 31);
    removeQueue("ctl_release");
}

TEST(QueueSupplies, QueueWithoutMarkersHasNone)
{
    ASSERT_TRUE(addQueue("ctl_nosupplies"));
    EXPECT_EQ(
        parsed(getPrinterSupplies("ctl_nosupplies")), QJsonObject({ { "code", 0 }, { "supplies", QJsonArray() } }));
    removeQueue("ctl_nosupplies");
}

// The scheduler keeps the marker values a backend last reported in its
// printers.conf and reads them back when it starts.
TEST(QueueSupplies, MarkersTheSchedulerKeepsAreReported)
{
    ASSERT_FALSE(bed().isEmpty());
    ASSERT_TRUE(addQueue("ctl_supplies"));
    ASSERT_EQ(run(bed(), { "stop", bedDir() }), 0);
    QFile conf(bedDir() + "/etc/printers.conf");
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    QByteArray text = conf.readAll();
    conf.close();
    const QByteArray end = "</Printer>";
    const int at = text.indexOf(end, text.indexOf("<Printer ctl_supplies>"));
    ASSERT_GT(at, 0);
    text.insert(at,
        "Attribute marker-colors \\#000000,\\#00FFFF\n"
        "Attribute marker-levels 50,7\n"
        "Attribute marker-names Black Toner,Cyan Ink\n"
        "Attribute marker-types toner,ink\n");
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(text);
    conf.close();
    ASSERT_EQ(run(bed(), { "start", bedDir() }), 0);
    const QJsonObject expected { { "code", 0 },
        { "supplies",
            QJsonArray {
                QJsonObject { { "name", "Black Toner" }, { "color", "#000000" }, { "level", 50 }, { "type", "toner" } },
                QJsonObject { { "name", "Cyan Ink" }, { "color", "#00FFFF" }, { "level", 7 }, { "type", "ink" } } } } };
    EXPECT_EQ(parsed(getPrinterSupplies("ctl_supplies")), expected);
    removeQueue("ctl_supplies");
}

TEST(QueueDescription, ChangedDescriptionAndLocationShowInTheListing)
{
    ASSERT_TRUE(addQueue("ctl_desc"));
    EXPECT_EQ(setPrinterDescription("ctl_desc", QString::fromUtf8("Front office — 前台"), "Room 2"), 0);
    QJsonObject p = listingByName()["ctl_desc"].toObject();
    EXPECT_EQ(p["comment"].toString(), QString::fromUtf8("Front office — 前台"));
    EXPECT_EQ(p["location"].toString(), "Room 2");
    EXPECT_EQ(setPrinterDescription("ctl_desc", "", ""), 0);
    p = listingByName()["ctl_desc"].toObject();
    EXPECT_EQ(p["comment"].toString(), "");
    EXPECT_EQ(p["location"].toString(), "");
    removeQueue("ctl_desc");
}

TEST(QueueDescription, BadTextsAreRefusedAndChangeNothing)
{
    ASSERT_TRUE(addQueue("ctl_badtext"));
    ASSERT_EQ(setPrinterDescription("ctl_badtext", "kept", "here"), 0);
    EXPECT_EQ(setPrinterDescription("ctl_badtext", "two\nlines", "x"), 87);
    EXPECT_EQ(setPrinterDescription("ctl_badtext", "x", QString(128, QLatin1Char('a'))), 87);
    EXPECT_EQ(setPrinterDescription("ctl_badtext", QString("tab\there"), "x"), 87);
    const QJsonObject p = listingByName()["ctl_badtext"].toObject();
    EXPECT_EQ(p["comment"].toString(), "kept");
    EXPECT_EQ(p["location"].toString(), "here");
    EXPECT_EQ(setPrinterDescription("ctl_badtext", QString(127, QLatin1Char('d')), ""), 0);
    EXPECT_EQ(listingByName()["ctl_badtext"].toObject()["comment"].toString(), QString(127, QLatin1Char('d')));
    removeQueue("ctl_badtext");
}

TEST(QueueControlUnreachable, EveryCommandIs1722)
{
    const QByteArray server = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", "/nonexistent/korvane-cups.sock");
    cupsSetServer(nullptr);
    EXPECT_EQ(pausePrinter("laser"), 1722);
    EXPECT_EQ(resumePrinter("laser"), 1722);
    EXPECT_EQ(setPrinterAcceptJobs("laser", true), 1722);
    EXPECT_EQ(jobsOf("laser"), QJsonObject({ { "code", 1722 } }));
    EXPECT_EQ(parsed(getPrinterSupplies("laser")), QJsonObject({ { "code", 1722 } }));
    EXPECT_EQ(cancelPrinterJob("laser", 1), 1722);
    EXPECT_EQ(releasePrinterJob("laser", 1), 1722);
    EXPECT_EQ(setPrinterDescription("laser", "a", "b"), 1722);
    qputenv("CUPS_SERVER", server);
    cupsSetServer(nullptr);
}
